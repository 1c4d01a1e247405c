#pragma once

#include "station.h"

#include <QMainWindow>
#include <QString>

#include <memory>

class StationCore;
class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLineEdit;

namespace Ui {
class Settings;
}

// Alarm settings window: shows the alarm configuration of the twelve channels and the sound file,
// and hands every edit of the operator to the station at once.
class Settings : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    Settings(StationCore &station, QWidget *parent = nullptr);
    ~Settings() override;

    void ShowChannel(int channel);
    void ShowAllChannels();
    // Start directory of the sound file dialog.
    QString workingDirectory() const { return WorkingDirectory; }

protected:
    // Asks the operator for a sound file; an empty answer means cancelled.
    virtual QString askSoundFile();

private slots:
    void on_ChanlEnableT0_clicked() { ApplyChannelEnable(0); }
    void on_ChanlEnableT1_clicked() { ApplyChannelEnable(1); }
    void on_ChanlEnableT2_clicked() { ApplyChannelEnable(2); }
    void on_ChanlEnableT3_clicked() { ApplyChannelEnable(3); }
    void on_ChanlEnableT4_clicked() { ApplyChannelEnable(4); }
    void on_ChanlEnableT5_clicked() { ApplyChannelEnable(5); }
    void on_ChanlEnableT6_clicked() { ApplyChannelEnable(6); }
    void on_ChanlEnableT7_clicked() { ApplyChannelEnable(7); }
    void on_ChanlEnableT8_clicked() { ApplyChannelEnable(8); }
    void on_ChanlEnableT9_clicked() { ApplyChannelEnable(9); }
    void on_ChanlEnableT10_clicked() { ApplyChannelEnable(10); }
    void on_ChanlEnableT11_clicked() { ApplyChannelEnable(11); }

    void on_NameSensorT0_editingFinished() { ApplyChannelEdits(0); }
    void on_NameSensorT1_editingFinished() { ApplyChannelEdits(1); }
    void on_NameSensorT2_editingFinished() { ApplyChannelEdits(2); }
    void on_NameSensorT3_editingFinished() { ApplyChannelEdits(3); }
    void on_NameSensorT4_editingFinished() { ApplyChannelEdits(4); }
    void on_NameSensorT5_editingFinished() { ApplyChannelEdits(5); }
    void on_NameSensorT6_editingFinished() { ApplyChannelEdits(6); }
    void on_NameSensorT7_editingFinished() { ApplyChannelEdits(7); }
    void on_NameSensorT8_editingFinished() { ApplyChannelEdits(8); }
    void on_NameSensorT9_editingFinished() { ApplyChannelEdits(9); }
    void on_NameSensorT10_editingFinished() { ApplyChannelEdits(10); }
    void on_NameSensorT11_editingFinished() { ApplyChannelEdits(11); }

    void on_HighLevelT0_editingFinished() { ApplyChannelEdits(0); }
    void on_HighLevelT1_editingFinished() { ApplyChannelEdits(1); }
    void on_HighLevelT2_editingFinished() { ApplyChannelEdits(2); }
    void on_HighLevelT3_editingFinished() { ApplyChannelEdits(3); }
    void on_HighLevelT4_editingFinished() { ApplyChannelEdits(4); }
    void on_HighLevelT5_editingFinished() { ApplyChannelEdits(5); }
    void on_HighLevelT6_editingFinished() { ApplyChannelEdits(6); }
    void on_HighLevelT7_editingFinished() { ApplyChannelEdits(7); }
    void on_HighLevelT8_editingFinished() { ApplyChannelEdits(8); }
    void on_HighLevelT9_editingFinished() { ApplyChannelEdits(9); }
    void on_HighLevelT10_editingFinished() { ApplyChannelEdits(10); }
    void on_HighLevelT11_editingFinished() { ApplyChannelEdits(11); }

    void on_LowLevelT0_editingFinished() { ApplyChannelEdits(0); }
    void on_LowLevelT1_editingFinished() { ApplyChannelEdits(1); }
    void on_LowLevelT2_editingFinished() { ApplyChannelEdits(2); }
    void on_LowLevelT3_editingFinished() { ApplyChannelEdits(3); }
    void on_LowLevelT4_editingFinished() { ApplyChannelEdits(4); }
    void on_LowLevelT5_editingFinished() { ApplyChannelEdits(5); }
    void on_LowLevelT6_editingFinished() { ApplyChannelEdits(6); }
    void on_LowLevelT7_editingFinished() { ApplyChannelEdits(7); }
    void on_LowLevelT8_editingFinished() { ApplyChannelEdits(8); }
    void on_LowLevelT9_editingFinished() { ApplyChannelEdits(9); }
    void on_LowLevelT10_editingFinished() { ApplyChannelEdits(10); }
    void on_LowLevelT11_editingFinished() { ApplyChannelEdits(11); }

    void on_SelectWavFile_clicked();

private:
    struct ChannelWidgets
    {
        QGroupBox *box;
        QLineEdit *name;
        QDoubleSpinBox *upper;
        QDoubleSpinBox *lower;
        QCheckBox *enable;
    };

    void ApplyChannelEdits(int channel);
    void ApplyChannelEnable(int channel);
    void setCrossLimits(int channel);

    StationCore &station;
    std::unique_ptr<Ui::Settings> ui;
    ChannelWidgets rows[Station::ChannelCount];
    QString WorkingDirectory;
};

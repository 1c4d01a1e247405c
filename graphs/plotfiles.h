#pragma once

#include "station.h"

#include <QMainWindow>
#include <QString>
#include <QVector>

#include <array>
#include <functional>

namespace Ui {
class plotfiles;
}
class QCheckBox;
class LogFileReader;
class MinMaxGraph;
class QCPGraphData;
class PlotPictures;

// Plots a recorded log file, one curve per channel, each shown or hidden by its box.
class plotfiles : public QMainWindow
{
    Q_OBJECT

public:
    using ChannelPoints = std::array<QVector<QCPGraphData>, Station::ChannelCount>;

    explicit plotfiles(QWidget *parent = nullptr);
    ~plotfiles() override;

    void SetAnalysisDirectory(const QString &dir);
    QString analysisDirectory() const { return AnalysisDirectory; }

    // Replaces what is shown with the log at `path`.
    void LoadFile(const QString &path);

    // Asks the operator for the file to open; an empty answer means cancelled.
    // Replaceable so the window can be driven without a modal dialog.
    std::function<QString(QWidget *parent, const QString &directory)> askFileName;

    // The plot's context menu: pictures of it, and what program drew it.
    PlotPictures *pictures() const { return plotPictures; }

public slots:
    void on_OpenFileData_clicked();
    void on_checkBoxT0_clicked();
    void on_checkBoxT1_clicked();
    void on_checkBoxT2_clicked();
    void on_checkBoxT3_clicked();
    void on_checkBoxT4_clicked();
    void on_checkBoxT5_clicked();
    void on_checkBoxT6_clicked();
    void on_checkBoxT7_clicked();
    void on_checkBoxT8_clicked();
    void on_checkBoxT9_clicked();
    void on_checkBoxT10_clicked();
    void on_checkBoxT11_clicked();
    void mousePress();
    void mouseWheel();

private:
    void SetupPlot();
    void ToggleChannel(int channel);
    bool IsChannelChecked(int channel) const;
    void SetChannelChecked(int channel, bool checked);
    void EnableChannelBox(int channel);
    void DisableChannelBoxes();

    void ClearChannels();
    void ShowNoData();
    void ShowLog(const LogFileReader &log, ChannelPoints &points);
    void FitValueAxis(float minimum, float maximum);
    Qt::Orientations SelectedAxisOrientations() const;

    Ui::plotfiles *ui;
    QString AnalysisDirectory;
    int LoadedChannels = 0;
    std::array<float, Station::ChannelCount> ChannelMin{};
    std::array<float, Station::ChannelCount> ChannelMax{};
    std::array<QCheckBox *, Station::ChannelCount> channelBoxes{};
    std::array<MinMaxGraph *, Station::ChannelCount> channelGraphs{};
    PlotPictures *plotPictures = nullptr;
};

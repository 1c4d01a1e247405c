#pragma once

#include <QByteArrayView>
#include <QString>

// Windows code page 1251, the 8-bit Cyrillic of files from Windows stations. Our own table,
// so that builds without Qt's legacy codecs read those files too.
QString fromCp1251(QByteArrayView bytes);

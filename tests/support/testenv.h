#pragma once

#include <QString>
#include <QTemporaryDir>

namespace TestEnv {

// Points HOME and the XDG folders at a fresh temporary folder, so that the
// program's standard locations resolve there and never in the real user
// folders. Call before anything asks QStandardPaths. The folder lives until
// the process ends.
QString useTemporaryHome();

// The data folder the program uses under the temporary home, created.
QString dataFolder();

// Writes bytes to a file, creating missing parent folders.
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

} // namespace TestEnv

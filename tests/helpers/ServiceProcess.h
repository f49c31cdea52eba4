#pragma once

#include <QProcess>
#include <QString>

// Starts `program` (a copy of the program) as the background service, as systemd starts it:
// with --servis and no display in its environment. True once it has started.
bool startAsService(QProcess &service, const QString &program,
                    const QString &mode = QStringLiteral("--servis"));

#pragma once
// The environment of an fwtool run against the emulated device: this run's
// EMULATOR_* (and RIVET_LOCK_DIR) settings only, none inherited.

#include <QProcessEnvironment>
#include <QStringList>

inline QProcessEnvironment emulatorEnvironment(const QStringList &settings)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith("EMULATOR_"))
            environment.remove(name);
    }
    environment.insert("HIDLINK_BACKEND", "emulator");
    for (const QString &setting : settings)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return environment;
}

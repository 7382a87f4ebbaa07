#pragma once
// Starts the real executable the way a script would: with no display in its
// environment, so anything that needs one shows up as a failure.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>

// Gives `p` the caller's environment less every display variable.
inline void WithoutDisplay(QProcess& p)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
}

struct RunResult {
    int code = -1; // -1 when it crashed or did not end in time
    std::string out, err;
};

// Runs `program` with `args` to its end (at most `ms`).
inline RunResult RunWithoutDisplay(const QString& program, const QStringList& args, int ms = 120000)
{
    QProcess p;
    WithoutDisplay(p);
    p.start(program, args);
    p.waitForFinished(ms);
    RunResult r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

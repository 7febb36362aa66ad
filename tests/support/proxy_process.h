// The misbehaving TDS proxy of stalling_proxy.py, started for one test and stopped with it.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <stdexcept>
#include <string>

namespace rowlark::test {

class ProxyProcess {
public:
    // `supportDir`: the folder of stalling_proxy.py; `options`: its options after the two
    // arguments. Waits until the proxy listens.
    ProxyProcess(const QString& supportDir, int upstreamPort, const QStringList& options) {
        const QString portFile = dir_.filePath("port");
        process_.start("python3", QStringList{supportDir + "/stalling_proxy.py",
                                              QString::number(upstreamPort), portFile} +
                                      options);
        QElapsedTimer wait;
        wait.start();
        while (!QFile::exists(portFile) && wait.elapsed() < 10000 &&
               process_.state() != QProcess::NotRunning)
            QThread::msleep(20);
        QFile f(portFile);
        if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("the proxy did not start");
        port_ = QString::fromUtf8(f.readAll()).trimmed();
    }
    ~ProxyProcess() {
        process_.kill();
        process_.waitForFinished();
    }
    ProxyProcess(const ProxyProcess&) = delete;
    ProxyProcess& operator=(const ProxyProcess&) = delete;
    QString port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString port_;
};

} // namespace rowlark::test

#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGTERM and SIGINT as a Qt signal on the main thread, for the service and the windowed program
// alike: both end cleanly (music stopped, folder released) when the system or a user asks.
// One per process, made before the event loop runs; a signal that comes earlier waits for it.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False when the handlers could not be installed (no descriptors left).
    bool isValid() const { return m_notifier != nullptr; }

signals:
    void received();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#pragma once

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <unordered_map>

class QSocketNotifier;

// libcurl's multi interface on Qt's event loop, without a thread: one QSocketNotifier per
// descriptor and direction that curl asks to watch, one single-shot timer for curl's time-outs.
// The transfers added to one multi share its connection cache, and through its share object their
// TLS sessions and DNS answers.
class CurlMulti : public QObject
{
    Q_OBJECT

public:
    using DoneHandler = std::function<void(CURLcode)>;

    CurlMulti();
    ~CurlMulti() override;
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    // Starts a configured easy handle. `done` is called once when it ended, after it was taken out
    // again, never from inside this call. False when curl refused it; then nothing is called.
    bool add(CURL* easy, DoneHandler done);
    // Ends a transfer at once without calling its handler; curl drops the connection it was using.
    void remove(CURL* easy);
    CURLSH* share() const { return m_share; }

private:
    struct Watch
    {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    void watch(QSocketNotifier*& notifier, curl_socket_t socket, bool read, bool on);
    void drive(curl_socket_t socket, int events);
    void collectDone();

    CURLM* m_multi = nullptr;
    CURLSH* m_share = nullptr;
    QTimer m_timer;
    std::unordered_map<curl_socket_t, Watch> m_watches;
    std::unordered_map<CURL*, DoneHandler> m_running;
};

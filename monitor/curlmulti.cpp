#include "monitor/curlmulti.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcCurl, "tarvix.curl", QtWarningMsg)

void initialiseCurlOnce()
{
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK)
        qCWarning(lcCurl) << "curl_global_init failed:" << curl_easy_strerror(initialised);
}

} // namespace

CurlMulti::CurlMulti()
{
    initialiseCurlOnce();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // The commands share the connections; the next poll may find its TLS session to resume even
    // when the server closed the idle connection.
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { drive(CURL_SOCKET_TIMEOUT, 0); });
}

CurlMulti::~CurlMulti()
{
    for (const auto& [easy, done] : std::as_const(m_running))
        curl_multi_remove_handle(m_multi, easy);
    m_running.clear();
    // Closing the cached connections still calls onSocket: the watches go with them.
    curl_multi_cleanup(m_multi);
    curl_share_cleanup(m_share);
    for (auto& [socket, watched] : m_watches) {
        delete watched.read;
        delete watched.write;
    }
}

bool CurlMulti::add(CURL* easy, DoneHandler done)
{
    const CURLMcode added = curl_multi_add_handle(m_multi, easy);
    if (added != CURLM_OK) {
        qCWarning(lcCurl) << "curl_multi_add_handle failed:" << curl_multi_strerror(added);
        return false;
    }
    m_running[easy] = std::move(done);
    return true;
}

void CurlMulti::remove(CURL* easy)
{
    if (m_running.erase(easy) > 0)
        curl_multi_remove_handle(m_multi, easy);
}

int CurlMulti::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    auto* multi = static_cast<CurlMulti*>(self);
    if (what == CURL_POLL_REMOVE) {
        const auto found = multi->m_watches.find(socket);
        if (found == multi->m_watches.end())
            return 0;
        // Perhaps from inside the notifier's own signal, and the descriptor may be reused at once.
        for (QSocketNotifier* notifier : {found->second.read, found->second.write}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        multi->m_watches.erase(found);
        return 0;
    }
    Watch& watched = multi->m_watches[socket];
    multi->watch(watched.read, socket, true, (what & CURL_POLL_IN) != 0);
    multi->watch(watched.write, socket, false, (what & CURL_POLL_OUT) != 0);
    return 0;
}

void CurlMulti::watch(QSocketNotifier*& notifier, curl_socket_t socket, bool read, bool on)
{
    if (!notifier && !on)
        return;
    if (!notifier) {
        notifier = new QSocketNotifier(socket, read ? QSocketNotifier::Read : QSocketNotifier::Write, this);
        const int events = read ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
        connect(
            notifier, &QSocketNotifier::activated, this, [this, socket, events] { drive(socket, events); });
    }
    notifier->setEnabled(on);
}

int CurlMulti::onTimer(CURLM*, long timeoutMs, void* self)
{
    auto* multi = static_cast<CurlMulti*>(self);
    if (timeoutMs < 0)
        multi->m_timer.stop();
    else
        multi->m_timer.start(int(qMin<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlMulti::drive(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    collectDone();
}

// The handlers run outside curl's callbacks, so they may start the next request at once.
void CurlMulti::collectDone()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        const auto found = m_running.find(easy);
        if (found == m_running.end())
            continue;
        DoneHandler done = std::move(found->second);
        m_running.erase(found);
        curl_multi_remove_handle(m_multi, easy);
        done(code);
    }
}

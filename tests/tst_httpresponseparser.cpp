#include "monitor/httpresponseparser.h"
#include "tools/nagiospage.h"

#include <QTest>

namespace {

using Status = HttpResponseParser::Status;
using Problem = HttpResponseParser::Problem;

QByteArray answer(const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + headers + "\r\n" + body;
}

QByteArray chunked(const QByteArray& body, int size)
{
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += size) {
        const QByteArray chunk = body.mid(at, size);
        out += QByteArray::number(chunk.size(), 16) + ";ext=1\r\n" + chunk + "\r\n";
    }
    return out + "0\r\nX-Trailer: 1\r\n\r\n";
}

const QByteArray page = QByteArray("<tr><td class='statusBGCRITICAL'>web-01</td></tr>\n").repeated(2000);

} // namespace

class TestHttpResponseParser : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void TestHttpResponseParser::answers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closed"); // the connection ends after the bytes
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QByteArray>("body");

    const qint64 cap = 1024 * 1024;
    const QByteArray zlib = qCompress(page).mid(4); // what "deflate" means
    const QByteArray rawDeflate = zlib.mid(2).chopped(4); // what some servers send instead
    const QByteArray gzip = NagiosPage::gzip(page);
    auto row = [](const char* name) { return &QTest::newRow(name); };

    *row("Content-Length, extra bytes after it ignored")
        << answer("Content-Length: " + QByteArray::number(page.size()) + "\r\n", page + "HTTP/1.1 200")
        << false << cap << int(Status::Done) << int(Problem::None) << page;
    *row("chunks with extensions and a trailer")
        << answer("Transfer-Encoding: chunked\r\n", chunked(page, 1000)) << false << cap << int(Status::Done)
        << int(Problem::None) << page;
    *row("body up to the end of the connection")
        << answer({}, page) << true << cap << int(Status::Done) << int(Problem::None) << page;
    *row("gzip in chunks") << answer(
        "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n", chunked(gzip, 700))
                           << false << cap << int(Status::Done) << int(Problem::None) << page;
    *row("deflate as zlib") << answer(
        "Content-Encoding: deflate\r\nContent-Length: " + QByteArray::number(zlib.size()) + "\r\n", zlib)
                            << false << cap << int(Status::Done) << int(Problem::None) << page;
    *row("deflate raw") << answer("Content-Encoding: deflate\r\n", rawDeflate) << true << cap
                        << int(Status::Done) << int(Problem::None) << page;
    *row("100 Continue before the answer, bare line ends")
        << "HTTP/1.1 100 Continue\n\n" + answer("Content-Length: 2\r\n", "ok") << false << cap
        << int(Status::Done) << int(Problem::None) << QByteArray("ok");
    *row("cut short: no last chunk") << answer(
        "Transfer-Encoding: chunked\r\n", chunked(page, 1000).chopped(20))
                                     << true << cap << int(Status::Failed) << int(Problem::CutShort)
                                     << QByteArray();
    *row("cut short: gzip stream incomplete although framed") << answer(
        "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n", chunked(gzip.left(gzip.size() / 2), 700))
                                                              << false << cap << int(Status::Failed)
                                                              << int(Problem::CutShort) << QByteArray();
    *row("too large: announced length beyond the cap")
        << answer("Content-Length: 99999999\r\n", "x") << false << cap << int(Status::Failed)
        << int(Problem::BodyTooLarge) << QByteArray();
    *row("too large: chunks beyond the cap")
        << answer("Transfer-Encoding: chunked\r\n", chunked(page, 1000)) << false << qint64(page.size() - 1)
        << int(Status::Failed) << int(Problem::BodyTooLarge) << QByteArray();
    *row("too large: a chunk for every byte outweighs the body")
        << answer("Transfer-Encoding: chunked\r\n", chunked(QByteArray(60000, 'x'), 1)) << false
        << qint64(100000) << int(Status::Failed) << int(Problem::BodyTooLarge) << QByteArray();
    *row("invalid: not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n\r\n") << false << cap
                              << int(Status::Failed) << int(Problem::InvalidHeader) << QByteArray();
    *row("invalid: 100 Continue without end")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(20) << false << cap << int(Status::Failed)
        << int(Problem::InvalidHeader) << QByteArray();
    *row("invalid: two different lengths")
        << answer("Content-Length: 2\r\nContent-Length: 3\r\n", "ok") << false << cap << int(Status::Failed)
        << int(Problem::InvalidHeader) << QByteArray();
    *row("invalid: chunk size not hexadecimal")
        << answer("Transfer-Encoding: chunked\r\n", "zz\r\nok\r\n0\r\n\r\n") << false << cap
        << int(Status::Failed) << int(Problem::InvalidBody) << QByteArray();
    *row("invalid: unknown content encoding")
        << answer("Content-Encoding: br\r\nContent-Length: 2\r\n", "ok") << false << cap
        << int(Status::Failed) << int(Problem::InvalidBody) << QByteArray();
}

// Every answer whole and one byte at a time: pieces must not matter.
void TestHttpResponseParser::answers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closed);
    QFETCH(qint64, cap);
    QFETCH(int, status);
    QFETCH(int, problem);
    QFETCH(QByteArray, body);
    for (const qint64 piece : {qint64(bytes.size()), qint64(1)}) {
        HttpResponseParser parser(cap);
        for (qint64 at = 0; at < bytes.size() && parser.status() == Status::NeedMore; at += piece)
            parser.feed(bytes.constData() + at, std::min(piece, bytes.size() - at));
        if (closed)
            parser.finish();
        QCOMPARE(int(parser.status()), status);
        QCOMPARE(int(parser.problem()), problem);
        QCOMPARE(parser.takeBody(), body);
        if (status == int(Status::Done))
            QCOMPARE(parser.statusCode(), 200);
    }
}

QTEST_GUILESS_MAIN(TestHttpResponseParser)
#include "tst_httpresponseparser.moc"

#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>

#include <memory>

// Reads one HTTP/1.x answer from its bytes as they arrive, in pieces of any size: the status line
// and headers (at most maxHeaderBytes, so a flood of header lines costs nothing), the body framed by
// Content-Length, chunks or the end of the connection, and unpacked from gzip or deflate. The body
// cap counts the unpacked bytes and ends the answer as soon as it is passed, so neither a gzip bomb
// nor an endless body is ever held beyond the cap; the bytes received may be twice the cap, so
// framing that outweighs the body (a chunk for every byte) is bounded too.
class HttpResponseParser
{
public:
    enum class Status { NeedMore, Done, Failed };
    enum class Problem {
        None,
        InvalidHeader, // not an HTTP answer, or a header that contradicts itself
        HeaderTooLarge,
        BodyTooLarge,
        InvalidBody, // broken chunks, or a body that does not unpack
        CutShort, // the connection ended before the answer did
    };

    static constexpr qsizetype maxHeaderBytes = 64 * 1024;

    explicit HttpResponseParser(qint64 maxBodyBytes);
    ~HttpResponseParser();
    HttpResponseParser(const HttpResponseParser&) = delete;
    HttpResponseParser& operator=(const HttpResponseParser&) = delete;

    // Takes the next bytes; those after the end of the answer are ignored.
    Status feed(const char* data, qint64 size);
    // The connection has ended: Done when the body was to end with it, else Failed (CutShort).
    Status finish();

    Status status() const { return m_status; }
    Problem problem() const { return m_problem; }
    bool headerComplete() const { return m_headerComplete; }
    int statusCode() const { return m_statusCode; }
    // Every value of a header (name in any case), in the order received.
    QList<QByteArray> headerValues(const QByteArray& name) const;
    QByteArray takeBody();

private:
    enum class Stage { Header, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, End };
    enum class Framing { Length, Chunked, UntilClose };

    qint64 readHeader(const char* data, qint64 size);
    bool parseHeader();
    qint64 readLine(const char* data, qint64 size, QByteArray* line, bool* complete);
    qint64 readChunkLine(const char* data, qint64 size);
    void takeBodyBytes(const char* data, qint64 size);
    bool startDecoder(const QByteArray& encoding);
    void endBody();
    Status fail(Problem problem);

    qint64 m_maxBodyBytes;
    Status m_status = Status::NeedMore;
    Problem m_problem = Problem::None;
    Stage m_stage = Stage::Header;
    Framing m_framing = Framing::UntilClose;
    bool m_headerComplete = false;
    int m_statusCode = 0;
    QByteArray m_head;
    QList<QPair<QByteArray, QByteArray>> m_headers; // names in lower case
    QByteArray m_line; // a chunk-size, chunk-end or trailer line being read
    qsizetype m_trailerBytes = 0;
    qint64 m_wireBytes = 0;
    int m_interimAnswers = 0;
    qint64 m_remaining = 0; // of the Content-Length body or of the current chunk
    QByteArray m_body;

    struct Decoder;
    std::unique_ptr<Decoder> m_decoder; // null: the body is not compressed
};

// The parameters of an authentication header after its scheme (Digest's realm, nonce, qop ...):
// key=value or key="quoted value" pairs separated by commas; keys in lower case.
QHash<QByteArray, QByteArray> authHeaderParameters(const QByteArray& text);

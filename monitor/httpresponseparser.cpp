#include "monitor/httpresponseparser.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Unpacked bytes per inflate step: the cap is checked after each.
constexpr qint64 inflateStep = 256 * 1024;
// A chunk-size line is a hexadecimal number and perhaps an extension; nothing needs more.
constexpr qsizetype maxChunkLineBytes = 4096;
// 100 Continue and the like before the answer; servers send one at most.
constexpr int maxInterimAnswers = 8;

} // namespace

struct HttpResponseParser::Decoder
{
    ~Decoder()
    {
        if (initialised)
            inflateEnd(&stream);
    }

    z_stream stream {};
    bool initialised = false;
    bool ended = false;
    // "deflate" is meant as a zlib stream, but some servers send raw deflate: the first two bytes
    // tell, so they wait here until both arrived.
    bool deflate = false;
    QByteArray start;
};

HttpResponseParser::HttpResponseParser(qint64 maxBodyBytes)
    : m_maxBodyBytes(std::max<qint64>(0, maxBodyBytes))
{ }

HttpResponseParser::~HttpResponseParser() = default;

HttpResponseParser::Status HttpResponseParser::fail(Problem problem)
{
    m_status = Status::Failed;
    m_problem = problem;
    m_stage = Stage::End;
    m_body = QByteArray();
    return m_status;
}

QList<QByteArray> HttpResponseParser::headerValues(const QByteArray& name) const
{
    const QByteArray lower = name.toLower();
    QList<QByteArray> values;
    for (const auto& [key, value] : m_headers) {
        if (key == lower)
            values.append(value);
    }
    return values;
}

QByteArray HttpResponseParser::takeBody()
{
    return std::exchange(m_body, QByteArray());
}

HttpResponseParser::Status HttpResponseParser::feed(const char* data, qint64 size)
{
    // Framing may outweigh the body (a chunk for every byte): the bytes on the wire have a cap too.
    m_wireBytes += size;
    if (m_status == Status::NeedMore && m_wireBytes > 2 * (m_maxBodyBytes + maxHeaderBytes))
        return fail(Problem::BodyTooLarge);
    while (size > 0 && m_status == Status::NeedMore) {
        qint64 used = size;
        switch (m_stage) {
        case Stage::Header:
            used = readHeader(data, size);
            break;
        case Stage::Body:
            if (m_framing == Framing::Length) {
                used = std::min(size, m_remaining);
                m_remaining -= used;
            }
            takeBodyBytes(data, used);
            if (m_status == Status::NeedMore && m_framing == Framing::Length && m_remaining == 0)
                endBody();
            break;
        case Stage::ChunkSize:
        case Stage::ChunkEnd:
        case Stage::Trailer:
            used = readChunkLine(data, size);
            break;
        case Stage::ChunkData:
            used = std::min(size, m_remaining);
            m_remaining -= used;
            takeBodyBytes(data, used);
            if (m_remaining == 0)
                m_stage = Stage::ChunkEnd;
            break;
        case Stage::End:
            break;
        }
        data += used;
        size -= used;
    }
    return m_status;
}

HttpResponseParser::Status HttpResponseParser::finish()
{
    if (m_status != Status::NeedMore)
        return m_status;
    if (m_stage == Stage::Body && m_framing == Framing::UntilClose) {
        endBody();
        return m_status;
    }
    return fail(Problem::CutShort);
}

qint64 HttpResponseParser::readHeader(const char* data, qint64 size)
{
    qint64 skipped = 0;
    if (m_head.isEmpty()) {
        // Stray line ends before the status line.
        while (skipped < size && (data[skipped] == '\r' || data[skipped] == '\n'))
            ++skipped;
        data += skipped;
        size -= skipped;
    }
    const qsizetype before = m_head.size();
    const qint64 take = std::min<qint64>(size, maxHeaderBytes + 4 - before);
    m_head.append(data, qsizetype(take));
    // The header ends with an empty line; bare line ends are taken as well as CR LF.
    for (qsizetype at = std::max<qsizetype>(0, before - 3); at < m_head.size(); ++at) {
        if (m_head.at(at) != '\n')
            continue;
        qsizetype next = at + 1;
        if (next < m_head.size() && m_head.at(next) == '\r')
            ++next;
        if (next >= m_head.size() || m_head.at(next) != '\n')
            continue;
        const qint64 used = skipped + (next + 1 - before);
        m_head.truncate(at);
        if (!parseHeader())
            return size + skipped;
        return used;
    }
    if (m_head.size() > maxHeaderBytes)
        fail(Problem::HeaderTooLarge);
    return skipped + take;
}

bool HttpResponseParser::parseHeader()
{
    const QList<QByteArray> lines = m_head.split('\n');
    const QByteArray statusLine = lines.first().trimmed();
    const QList<QByteArray> parts = statusLine.split(' ');
    bool ok = false;
    const int code = parts.size() >= 2 ? parts.at(1).toInt(&ok) : 0;
    if (!statusLine.startsWith("HTTP/1.") || !ok || code < 100 || code > 999 || code == 101) {
        fail(Problem::InvalidHeader);
        return false;
    }
    m_headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !m_headers.isEmpty()) {
            m_headers.last().second += ' ' + line.trimmed(); // a folded continuation line
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            m_headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    m_head = QByteArray();
    if (code < 200) {
        m_headers.clear(); // 100 Continue and the like: the real answer follows
        if (++m_interimAnswers > maxInterimAnswers) {
            fail(Problem::InvalidHeader);
            return false;
        }
        return true;
    }
    m_statusCode = code;
    m_headerComplete = true;

    QList<QByteArray> encodings;
    for (const QByteArray& value : headerValues("content-encoding")) {
        for (const QByteArray& item : value.split(',')) {
            const QByteArray coding = item.trimmed().toLower();
            if (!coding.isEmpty() && coding != "identity")
                encodings.append(coding);
        }
    }
    if (encodings.size() > 1 || (encodings.size() == 1 && !startDecoder(encodings.first()))) {
        fail(Problem::InvalidBody);
        return false;
    }

    if (code == 204 || code == 304) {
        endBody();
        return true;
    }
    const QList<QByteArray> transfer = headerValues("transfer-encoding");
    const QList<QByteArray> lengths = headerValues("content-length");
    if (!transfer.isEmpty()) {
        const QList<QByteArray> codings = transfer.join(',').split(',');
        m_framing = codings.last().trimmed().toLower() == "chunked" ? Framing::Chunked : Framing::UntilClose;
    } else if (!lengths.isEmpty()) {
        qint64 length = -1;
        for (const QByteArray& item : lengths.join(',').split(',')) {
            const qint64 value = item.trimmed().toLongLong(&ok);
            if (!ok || value < 0 || (length >= 0 && value != length)) {
                fail(Problem::InvalidHeader);
                return false;
            }
            length = value;
        }
        m_framing = Framing::Length;
        m_remaining = length;
        if (!m_decoder) {
            if (length > m_maxBodyBytes) {
                fail(Problem::BodyTooLarge);
                return false;
            }
            m_body.reserve(qsizetype(length));
        }
    }
    m_stage = m_framing == Framing::Chunked ? Stage::ChunkSize : Stage::Body;
    if (m_framing == Framing::Length && m_remaining == 0)
        endBody();
    return true;
}

bool HttpResponseParser::startDecoder(const QByteArray& encoding)
{
    if (encoding != "gzip" && encoding != "x-gzip" && encoding != "deflate")
        return false;
    m_decoder = std::make_unique<Decoder>();
    m_decoder->deflate = encoding == "deflate";
    return true;
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "1a2b" or "1a2b;extension", blanks around; -1 for anything else. A server may send a chunk for
// every byte, so this must cost next to nothing.
qint64 chunkSize(QByteArrayView line)
{
    qsizetype at = 0;
    while (at < line.size() && isBlank(line.at(at)))
        ++at;
    qint64 size = 0;
    int digits = 0;
    for (; at < line.size() && hexValue(line.at(at)) >= 0; ++at) {
        if (++digits > 15)
            return -1;
        size = size * 16 + hexValue(line.at(at));
    }
    while (at < line.size() && isBlank(line.at(at)))
        ++at;
    return digits > 0 && (at == line.size() || line.at(at) == ';') ? size : -1;
}

bool isBlankLine(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(), isBlank);
}

} // namespace

qint64 HttpResponseParser::readChunkLine(const char* data, qint64 size)
{
    const char* end = static_cast<const char*>(memchr(data, '\n', size_t(size)));
    const qint64 used = end ? end - data + 1 : size;
    if (m_stage == Stage::Trailer) {
        m_trailerBytes += used;
        if (m_trailerBytes > maxHeaderBytes) {
            fail(Problem::HeaderTooLarge);
            return used;
        }
    } else if (m_line.size() + used > maxChunkLineBytes) {
        fail(Problem::InvalidBody);
        return used;
    }
    if (!end) {
        m_line.append(data, qsizetype(used));
        return used;
    }
    // The whole line is usually in this read: no copy then.
    if (!m_line.isEmpty())
        m_line.append(data, qsizetype(used - 1));
    const QByteArrayView line
        = m_line.isEmpty() ? QByteArrayView(data, qsizetype(used - 1)) : QByteArrayView(m_line);
    switch (m_stage) {
    case Stage::ChunkSize:
        m_remaining = chunkSize(line);
        if (m_remaining < 0)
            fail(Problem::InvalidBody);
        else
            m_stage = m_remaining == 0 ? Stage::Trailer : Stage::ChunkData;
        break;
    case Stage::ChunkEnd:
        if (!isBlankLine(line))
            fail(Problem::InvalidBody);
        else
            m_stage = Stage::ChunkSize;
        break;
    case Stage::Trailer:
        if (isBlankLine(line))
            endBody();
        break;
    default:
        break;
    }
    m_line.clear();
    return used;
}

void HttpResponseParser::takeBodyBytes(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    if (!m_decoder) {
        if (m_body.size() + size > m_maxBodyBytes) {
            fail(Problem::BodyTooLarge);
            return;
        }
        m_body.append(data, qsizetype(size));
        return;
    }
    Decoder& decoder = *m_decoder;
    if (decoder.ended)
        return; // after the end of the compressed stream
    if (!decoder.initialised) {
        int windowBits = 15 + 32; // gzip or zlib, told by their header
        if (decoder.deflate) {
            decoder.start.append(data, qsizetype(size));
            if (decoder.start.size() < 2)
                return;
            const auto cmf = static_cast<unsigned char>(decoder.start.at(0));
            const auto flg = static_cast<unsigned char>(decoder.start.at(1));
            windowBits = (cmf & 0x0f) == 8 && ((cmf << 8) | flg) % 31 == 0 ? 15 : -15;
            data = decoder.start.constData();
            size = decoder.start.size();
        }
        if (inflateInit2(&decoder.stream, windowBits) != Z_OK) {
            fail(Problem::InvalidBody);
            return;
        }
        decoder.initialised = true;
    }
    decoder.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    decoder.stream.avail_in = uInt(size);
    for (;;) {
        const qsizetype before = m_body.size();
        const qint64 room = std::min(inflateStep, m_maxBodyBytes + 1 - before);
        m_body.resize(before + qsizetype(room)); // grows geometrically, the new bytes untouched
        decoder.stream.next_out = reinterpret_cast<Bytef*>(m_body.data() + before);
        decoder.stream.avail_out = uInt(room);
        const int result = inflate(&decoder.stream, Z_NO_FLUSH);
        m_body.resize(before + qsizetype(room - decoder.stream.avail_out));
        if (m_body.size() > m_maxBodyBytes) {
            fail(Problem::BodyTooLarge);
            return;
        }
        if (result == Z_STREAM_END) {
            decoder.ended = true;
            break;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            fail(Problem::InvalidBody);
            return;
        }
        if (decoder.stream.avail_in == 0 && decoder.stream.avail_out != 0)
            break;
    }
    decoder.start = QByteArray();
}

void HttpResponseParser::endBody()
{
    if (m_decoder && (m_decoder->initialised || !m_decoder->start.isEmpty()) && !m_decoder->ended) {
        fail(Problem::CutShort); // the compressed stream stops before its end
        return;
    }
    m_stage = Stage::End;
    m_status = Status::Done;
}

QHash<QByteArray, QByteArray> authHeaderParameters(const QByteArray& text)
{
    QHash<QByteArray, QByteArray> parameters;
    qsizetype at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text.at(at) == ' ' || text.at(at) == ','))
            ++at;
        const qsizetype equals = text.indexOf('=', at);
        if (equals < 0)
            break;
        const QByteArray key = text.mid(at, equals - at).trimmed().toLower();
        at = equals + 1;
        while (at < text.size() && text.at(at) == ' ')
            ++at;
        QByteArray value;
        if (at < text.size() && text.at(at) == '"') {
            for (++at; at < text.size() && text.at(at) != '"'; ++at) {
                if (text.at(at) == '\\' && at + 1 < text.size())
                    ++at;
                value += text.at(at);
            }
            ++at;
        } else {
            const qsizetype comma = text.indexOf(',', at);
            value = text.mid(at, comma < 0 ? -1 : comma - at).trimmed();
            at = comma < 0 ? text.size() : comma;
        }
        parameters.insert(key, value);
    }
    return parameters;
}

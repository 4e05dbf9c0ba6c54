#include "monitor/statusrules.h"

#include <QRegularExpression>
#include <QStringView>
#include <QtAlgorithms>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const QString hostsRegExpTemplate
    = QStringLiteral(R"(^\s*<td .*\s?class=['"](status_list)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");
const QString srvcsRegExpTemplate
    = QStringLiteral(R"(^\s*<TD .*\s?class=['"](status_list)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");

namespace {

const QString statusListMark = QStringLiteral("status_list");

QString appendStatus(const QString& list, bool chosen, const QString& status)
{
    if (!chosen)
        return list;
    return list.isEmpty() ? status : list + QLatin1Char('|') + status;
}

// "\s" of the expressions (PCRE2 with Unicode properties).
bool isPatternSpace(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c <= 0x20)
        return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85)
        return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200A) || c == 0x2028
        || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Equal to a character of a pattern literal (ASCII) as the case-insensitive expressions compare:
// the ASCII pair, and besides it KELVIN SIGN for "k" and LONG S for "s".
bool sameLetter(QChar ch, char16_t literal)
{
    const char16_t c = ch.unicode();
    if (c == literal)
        return true;
    char16_t lower = literal;
    if (literal >= u'A' && literal <= u'Z')
        lower = static_cast<char16_t>(literal + (u'a' - u'A'));
    if (lower < u'a' || lower > u'z')
        return false;
    return c == lower || c == lower - (u'a' - u'A') || (lower == u'k' && c == 0x212A)
        || (lower == u's' && c == 0x017F);
}

inline bool sameText(QStringView text, qsizetype at, QStringView literal)
{
    if (at < 0 || at + literal.size() > text.size())
        return false;
    const char16_t* data = text.utf16() + at;
    const char16_t* lit = literal.utf16();
    for (qsizetype i = 0; i < literal.size(); ++i) {
        // Exact and ASCII-case-only equality first: nearly every comparison ends there.
        if (data[i] == lit[i] || (data[i] | 0x20) == (lit[i] | 0x20)) {
            if (data[i] == lit[i] || sameLetter(QChar(data[i]), lit[i]))
                continue;
            return false;
        }
        if (data[i] < 0x80 || !sameLetter(QChar(data[i]), lit[i]))
            return false;
    }
    return true;
}

bool isQuote(QStringView text, qsizetype at)
{
    return at >= 0 && at < text.size() && (text[at] == u'\'' || text[at] == u'"');
}

#if !defined(__SSE2__)
// Whether one of the four 16-bit lanes of `block` equals the lane pattern (exact).
inline bool hasLane(quint64 block, quint64 pattern)
{
    constexpr quint64 ones = 0x0001000100010001ULL;
    constexpr quint64 highs = 0x8000800080008000ULL;
    const quint64 diff = block ^ pattern;
    return ((diff - ones) & ~diff & highs) != 0;
}
#endif

// The last `ch` at or before `from` and at or after `lowest`, or -1. It runs over most of every
// line of a page, so it tests sixteen characters at a time with SSE2 where there is SSE2 (every
// x86-64), else eight with plain 64-bit arithmetic.
inline qsizetype lastIndexOf(QStringView text, char16_t ch, qsizetype from, qsizetype lowest)
{
    const char16_t* data = text.utf16();
    qsizetype at = qMin(from, text.size() - 1);
    lowest = qMax<qsizetype>(lowest, 0);
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(ch));
    while (at - 15 >= lowest) {
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at - 7));
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at - 15));
        const int highMask = _mm_movemask_epi8(_mm_cmpeq_epi16(high, wanted));
        const int lowMask = _mm_movemask_epi8(_mm_cmpeq_epi16(low, wanted));
        if (highMask != 0)
            return at - 7 + (31 - qCountLeadingZeroBits(static_cast<quint32>(highMask))) / 2;
        if (lowMask != 0)
            return at - 15 + (31 - qCountLeadingZeroBits(static_cast<quint32>(lowMask))) / 2;
        at -= 16;
    }
#else
    const quint64 pattern = 0x0001000100010001ULL * ch;
    while (at - 7 >= lowest) {
        quint64 high = 0;
        quint64 low = 0;
        std::memcpy(&high, data + at - 3, sizeof high);
        std::memcpy(&low, data + at - 7, sizeof low);
        if (!hasLane(high, pattern) && !hasLane(low, pattern)) {
            at -= 8;
            continue;
        }
        for (const qsizetype end = at - 8; at > end; --at) {
            if (data[at] == ch)
                return at;
        }
    }
#endif
    for (; at >= lowest; --at) {
        if (data[at] == ch)
            return at;
    }
    return -1;
}

// The first "\s" at or after `from` and before `limit`, or `limit`. Skips four ordinary characters
// at a time: no "\s" lies between 0x21 and 0x84.
qsizetype spaceOrLimit(QStringView text, qsizetype from, qsizetype limit)
{
    constexpr quint64 ones = 0x0001000100010001ULL;
    constexpr quint64 highs = 0x8000800080008000ULL;
    const char16_t* data = text.utf16();
    qsizetype at = from;
    while (at + 4 <= limit) {
        quint64 block = 0;
        std::memcpy(&block, data + at, sizeof block);
        // A lane below 0x21, or above 0x84 (the high bit set by the sum or by the lane itself).
        const quint64 below = (block - ones * 0x21) & ~block & highs;
        const quint64 above = ((block & ~highs) + ones * (0x7FFF - 0x84)) | block;
        if (((below | above) & highs) == 0) {
            at += 4;
            continue;
        }
        for (const qsizetype end = at + 4; at < end; ++at) {
            if (isPatternSpace(QChar(data[at])))
                return at;
        }
    }
    for (; at < limit; ++at) {
        if (isPatternSpace(QChar(data[at])))
            return at;
    }
    return limit;
}

// The last quote at or before `from` and at or after `lowest`, or -1.
qsizetype lastQuote(QStringView text, qsizetype from, qsizetype lowest)
{
    const qsizetype single = lastIndexOf(text, u'\'', from, lowest);
    const qsizetype dbl = lastIndexOf(text, u'"', from, qMax(lowest, single + 1));
    return qMax(single, dbl);
}

// The built-in and basic expressions are a template with plain class names in its group. For
// those, this matcher finds exactly the match and captures that the expression finds, looking at
// a fraction of each line instead of the expression's backtracking over all of it (several
// microseconds on each of the 60,000 cell lines of a 10 MB services page).
//
// Why it is exact: leading \s* can only take all leading spaces. The greedy quantifiers then
// settle every choice as far right as the rest allows: (.+)</a> ends at the last "</a>"; the
// ".*>" before the name stops at the last '>' that leaves the name a character; of the link tags,
// the last one whose run of non-spaces holds a quote before that '>' wins, and the link ends at the
// last such quote; of the class attributes, the last one that closes before that link tag wins.
// The "\s?" beside a ".*" never changes which position is chosen. Alternatives of plain names
// followed by a quote can only match one span. The tests compare this matcher with the expression.
class TemplateMatcher
{
public:
    explicit TemplateMatcher(const QString& pattern)
    {
        // "<td" and "<TD" are the same to a case-insensitive expression.
        if (!readClassNames(pattern, hostsRegExpTemplate))
            readClassNames(pattern, srvcsRegExpTemplate);
    }

    bool active() const { return m_active; }

    bool match(QStringView line)
    {
        const qsizetype n = line.size();
        qsizetype tag = 0;
        while (tag < n && isPatternSpace(line[tag]))
            ++tag;
        if (!sameText(line, tag, u"<td "))
            return false;
        const qsizetype afterTag = tag + 4;

        qsizetype closeTag = lastIndexOf(line, u'<', n - 4, afterTag);
        while (closeTag >= 0 && !sameText(line, closeTag, u"</a>"))
            closeTag = lastIndexOf(line, u'<', closeTag - 1, afterTag);
        if (closeTag < 0)
            return false;
        const qsizetype nameOpen = lastIndexOf(line, u'>', closeTag - 2, afterTag);
        if (nameOpen < 0)
            return false;

        // The class attribute ends before the link tag, which ends before nameOpen. Looking for
        // it first turns away the long icon lines, which hold links but no class.
        qsizetype eq = lastIndexOf(line, u'=', nameOpen - 15, afterTag + 5);
        qsizetype close = -1;
        for (; eq >= 0; eq = lastIndexOf(line, u'=', eq - 1, afterTag + 5)) {
            close = classNameEnd(line, eq);
            if (close >= 0 && close < nameOpen - 12)
                break;
        }
        if (eq < 0)
            return false;

        // A link needs a character and its closing quote before nameOpen.
        qsizetype linkTag = lastIndexOf(line, u'>', nameOpen - 12, afterTag);
        qsizetype linkEnd = -1;
        for (; linkTag >= 0; linkTag = lastIndexOf(line, u'>', linkTag - 1, afterTag)) {
            if (!sameText(line, linkTag, u"><a href=") || !isQuote(line, linkTag + 9))
                continue;
            // The link is a run of non-spaces of at least one character up to a quote. A run that
            // reaches a later link tag holds that tag's quote, so the runs that fail never overlap.
            const qsizetype start = linkTag + 10;
            linkEnd = lastQuote(line, spaceOrLimit(line, start, nameOpen) - 1, start + 1);
            if (linkEnd >= 0)
                break;
        }
        if (linkTag < 0)
            return false;

        // The last class attribute that closes before the link tag.
        for (; eq >= 0; eq = lastIndexOf(line, u'=', eq - 1, afterTag + 5)) {
            close = classNameEnd(line, eq);
            if (close >= 0 && close < linkTag) {
                m_captures[0] = line.first(closeTag + 4);
                m_captures[1] = line.sliced(eq + 2, close - eq - 2);
                m_captures[2] = line.sliced(linkTag + 10, linkEnd - linkTag - 10);
                m_captures[3] = line.sliced(nameOpen + 1, closeTag - nameOpen - 1);
                return true;
            }
        }
        return false;
    }

    QStringView captured(int position) const
    {
        return position >= 0 && position < 4 ? m_captures[position] : QStringView();
    }

private:
    // For the '=' of a class attribute (class= + quote + a chosen name + quote), where the closing
    // quote stands; -1 for anything else.
    qsizetype classNameEnd(QStringView line, qsizetype eq) const
    {
        const qsizetype at = eq + 2;
        if (!sameText(line, eq - 5, u"class") || !isQuote(line, eq + 1))
            return -1;
        for (const QString& name : m_classNames) {
            const qsizetype end = at + name.size();
            if (isQuote(line, end) && sameText(line, at, name))
                return end;
        }
        return -1;
    }

    bool readClassNames(const QString& pattern, const QString& pageTemplate)
    {
        const qsizetype mark = pageTemplate.indexOf(statusListMark);
        const QStringView prefix = QStringView(pageTemplate).left(mark);
        const QStringView suffix = QStringView(pageTemplate).mid(mark + statusListMark.size());
        if (pattern.size() < prefix.size() + suffix.size() || !pattern.startsWith(prefix)
            || !pattern.endsWith(suffix))
            return false;
        const QStringView group
            = QStringView(pattern).mid(prefix.size(), pattern.size() - prefix.size() - suffix.size());
        for (const QChar ch : group) {
            const char16_t c = ch.unicode();
            const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                || (c >= u'0' && c <= u'9') || c == u'_' || c == u'|';
            if (!plain)
                return false;
        }
        for (const QStringView name : group.split(u'|'))
            m_classNames.append(name.toString());
        m_active = true;
        return true;
    }

    QList<QString> m_classNames;
    QStringView m_captures[4];
    bool m_active = false;
};

// One page's expression: the template matcher where it applies, else the compiled expression.
class LineMatcher
{
public:
    explicit LineMatcher(const PageRule& rule) : m_template(rule.pattern)
    {
        if (m_template.active())
            return;
        m_expression = QRegularExpression(rule.pattern,
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
        m_expression.optimize();
    }

    bool isValid() const { return m_template.active() || m_expression.isValid(); }

    bool match(QStringView line)
    {
        if (m_template.active())
            return m_template.match(line);
        m_match = m_expression.match(line);
        return m_match.hasMatch();
    }

    // Valid until the next match, while the page text lives.
    QStringView captured(int position) const
    {
        if (m_template.active())
            return m_template.captured(position);
        return position < 0 ? QStringView() : m_match.capturedView(position);
    }

private:
    TemplateMatcher m_template;
    QRegularExpression m_expression;
    QRegularExpressionMatch m_match;
};

// Calls onMatch(matcher) for each line of the page that the rule's expression matches.
template <typename OnMatch> void matchLines(const QString& text, const PageRule& rule, OnMatch onMatch)
{
    LineMatcher matcher(rule);
    if (!matcher.isValid())
        return;
    const QStringView page(text);
    qsizetype start = 0;
    while (start < page.size()) {
        qsizetype end = page.indexOf(u'\n', start);
        if (end < 0)
            end = page.size();
        const QStringView line = page.sliced(start, end - start);
        start = end + 1;
        if (!line.isEmpty() && matcher.match(line))
            onMatch(matcher);
    }
}

// `text` with every occurrence of `word` removed, as QString::remove does (case-sensitive), into
// `out`.
void removeWord(QStringView text, QStringView word, QString& out)
{
    out.resize(0);
    qsizetype plain = 0;
    for (qsizetype at = 0; at + word.size() <= text.size();) {
        if (text.sliced(at, word.size()) == word) {
            out.append(text.sliced(plain, at - plain));
            at += word.size();
            plain = at;
        } else {
            ++at;
        }
    }
    out.append(text.sliced(plain));
}

// One shared copy per distinct text: the rows of a page repeat a few statuses and service names,
// and looking one up costs less than a fresh string for every row. A small open-addressing table
// looks texts up by view, without copying them first.
class SharedTexts
{
public:
    QString get(QStringView text)
    {
        if (m_slots.isEmpty())
            m_slots.resize(2 * maxTexts);
        const size_t hash = qHash(text);
        for (size_t slot = hash & slotMask;; slot = (slot + 1) & slotMask) {
            QString& known = m_slots[slot];
            if (known.isNull()) {
                QString copy = text.toString();
                if (m_used < maxTexts) {
                    known = copy;
                    ++m_used;
                }
                return copy;
            }
            if (QStringView(known) == text)
                return known;
        }
    }

    QString withoutWord(QStringView text, QStringView word)
    {
        removeWord(text, word, m_buffer);
        return get(m_buffer);
    }

private:
    // Twice the texts kept, so that a probe always ends at a free slot.
    static constexpr size_t maxTexts = 2048;
    static constexpr size_t slotMask = 2 * maxTexts - 1;
    QList<QString> m_slots;
    size_t m_used = 0;
    QString m_buffer;
};

// The first "host=" at or after `from` (case-sensitive), or -1; links are short.
qsizetype indexOfHost(QStringView link, qsizetype from)
{
    for (qsizetype at = from; at + 5 <= link.size(); ++at) {
        if (link[at] == u'h' && link.sliced(at, 5) == u"host=")
            return at;
    }
    return -1;
}

// The host of a service link as "host=(\S+)[&$]" finds it, "$" being an ordinary character inside
// the brackets.
bool findHostInLink(QStringView link, QStringView* host)
{
    // The expression's first match starts at the first "host=" that has a match; its greedy \S+
    // then reaches to the last '&' or '$' of the run of non-spaces after it.
    for (qsizetype at = indexOfHost(link, 0); at >= 0;) {
        const qsizetype start = at + 5;
        const qsizetype runEnd = spaceOrLimit(link, start, link.size());
        const qsizetype ampersand = lastIndexOf(link, u'&', runEnd - 1, start + 1);
        const qsizetype end
            = qMax(ampersand, lastIndexOf(link, u'$', runEnd - 1, qMax(start + 1, ampersand + 1)));
        if (end >= 0) {
            *host = link.sliced(start, end - start);
            return true;
        }
        // A later "host=" in the same run would find no '&' or '$' either.
        at = indexOfHost(link, qMax(at + 1, runEnd));
    }
    return false;
}

bool needsDecoding(QStringView name)
{
    for (const QChar ch : name) {
        if (ch == u'%' || ch == u'+')
            return true;
    }
    return false;
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Links carry names form-encoded: "+" for a space, %XX for a UTF-8 byte. A "%" without two hex
// digits stays as it is.
QString decodeHost(QStringView encoded)
{
    QByteArray bytes;
    bytes.reserve(encoded.size());
    qsizetype plain = 0; // start of the characters not yet copied
    for (qsizetype at = 0; at < encoded.size(); ++at) {
        const char16_t c = encoded[at].unicode();
        const bool escape = c == u'%' && at + 2 < encoded.size() && hexValue(encoded[at + 1].unicode()) >= 0
            && hexValue(encoded[at + 2].unicode()) >= 0;
        if (c != u'+' && !escape)
            continue;
        bytes += encoded.sliced(plain, at - plain).toUtf8();
        if (escape) {
            bytes += static_cast<char>(
                hexValue(encoded[at + 1].unicode()) * 16 + hexValue(encoded[at + 2].unicode()));
            at += 2;
        } else {
            bytes += ' ';
        }
        plain = at + 1;
    }
    bytes += encoded.sliced(plain).toUtf8();
    return QString::fromUtf8(bytes);
}

bool listHolds(const QStringList& list, const QString& name)
{
    for (const QString& entry : list) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString basicHostsRegExp(const BasicStatusChoice& choice)
{
    QString list;
    list = appendStatus(list, choice.hostDown, QStringLiteral("statusHOSTDOWN"));
    list = appendStatus(list, choice.hostUnreachable, QStringLiteral("statusHOSTUNREACHABLE"));
    return QString(hostsRegExpTemplate).replace(statusListMark, list, Qt::CaseSensitive);
}

QString basicServicesRegExp(const BasicStatusChoice& choice)
{
    QString list;
    list = appendStatus(list, choice.serviceCritical, QStringLiteral("statusBGCRITICAL"));
    list = appendStatus(list, choice.serviceWarning, QStringLiteral("statusBGWARNING"));
    list = appendStatus(list, choice.serviceUnknown, QStringLiteral("statusBGUNKNOWN"));
    return QString(srvcsRegExpTemplate).replace(statusListMark, list, Qt::CaseSensitive);
}

QString pageText(const QByteArray& body)
{
    const qsizetype length
        = static_cast<qsizetype>(qstrnlen(body.constData(), static_cast<size_t>(body.size())));
    return QString::fromUtf8(QByteArrayView(body.constData(), length));
}

QList<StatusRow> extractHostRows(const QString& text, const PageRule& rule)
{
    QList<StatusRow> rows;
    SharedTexts shared;
    matchLines(text, rule, [&rows, &rule, &shared](const LineMatcher& match) {
        StatusRow row;
        row.name = match.captured(rule.namePos).toString();
        row.link = match.captured(rule.linkPos).toString();
        row.status = shared.withoutWord(match.captured(rule.statusPos), u"status");
        rows.append(std::move(row));
    });
    return rows;
}

QList<StatusRow> extractServiceRows(const QString& text, const PageRule& rule)
{
    QList<StatusRow> rows;
    SharedTexts shared;
    matchLines(text, rule, [&rows, &rule, &shared](const LineMatcher& match) {
        const QStringView link = match.captured(rule.linkPos);
        QStringView host;
        if (!findHostInLink(link, &host))
            return;
        StatusRow row;
        row.link = link.toString();
        row.serviceName = shared.get(match.captured(rule.namePos));
        const bool encoded = needsDecoding(host);
        const QString decoded = encoded ? decodeHost(host) : QString();
        row.name.reserve(row.serviceName.size() + 1 + (encoded ? decoded.size() : host.size()));
        row.name.append(row.serviceName).append(QLatin1Char(':'));
        if (encoded)
            row.name.append(decoded);
        else
            row.name.append(host);
        row.status = shared.withoutWord(match.captured(rule.statusPos), u"statusBG");
        rows.append(std::move(row));
    });
    return rows;
}

bool looksLikeStatusPage(const QString& text)
{
    return text.contains(QLatin1String("itemTotalsTitle"), Qt::CaseSensitive);
}

ServiceFilterEntry::ServiceFilterEntry(const QString& entry)
{
    const QStringList parts = entry.split(QLatin1Char(':'), Qt::SkipEmptyParts, Qt::CaseSensitive);
    if (parts.isEmpty())
        return;
    m_serviceName = parts.first();
    m_hostNames = parts.mid(1);
}

bool ServiceFilterEntry::matches(const QString& service, const QString& host) const
{
    if (m_serviceName.isEmpty() || m_serviceName.toLower() != service.toLower())
        return false;
    if (m_hostNames.isEmpty())
        return true;
    const QString lowerHost = host.toLower();
    for (const QString& name : m_hostNames) {
        if (name.toLower() == lowerHost)
            return true;
    }
    return false;
}

bool hostRowCounts(const MonitorSettings& settings, const QString& hostName)
{
    const bool listed = listHolds(settings.hostsList, hostName);
    return (!listed && !settings.onlyListedHosts) || (listed && !settings.allExceptSpecifedHosts);
}

bool hostRecoveryAnnounced(const MonitorSettings& settings, const QString& hostName)
{
    const bool listed = listHolds(settings.hostsList, hostName);
    return settings.allExceptSpecifedHosts ? !listed : listed;
}

bool serviceRowCounts(const MonitorSettings& settings, const QString& serviceName)
{
    const bool listed = listHolds(settings.servicesList, serviceName);
    return (!listed && !settings.onlyListedSrvcs) || (listed && !settings.allExceptSpecifedSrvcs);
}

bool serviceRecoveryAnnounced(const MonitorSettings& settings, const QString& displayName)
{
    // The first and the last part of the name split at ":" with empty parts kept.
    const QString service = displayName.left(displayName.indexOf(QLatin1Char(':')));
    const QString host = displayName.mid(displayName.lastIndexOf(QLatin1Char(':')) + 1);
    bool matched = false;
    for (const QString& entry : settings.servicesList) {
        if (ServiceFilterEntry(entry).matches(service, host)) {
            matched = true;
            break;
        }
    }
    return settings.allExceptSpecifedSrvcs ? !matched : matched;
}

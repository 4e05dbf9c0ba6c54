#include "monitor/templatematcher.h"

#include "monitor/statusrules.h"

#include <QtAlgorithms>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The scans here are hand-written because Qt's equivalents cost more on every line of a page
// (instructions of a walk of the 6,000-row page, by callgrind): QStringView::lastIndexOf +40%,
// a case-insensitive QStringView::compare +63%, std::find_if over the spaces +6%, and
// QStringView::indexOf/lastIndexOf in the service links +2%.

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
inline qsizetype spaceOrLimit(QStringView text, qsizetype from, qsizetype limit)
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

constexpr QStringView hostKey = u"host=";

// The first "host=" at or after `from` (case-sensitive), or -1; links are short.
inline qsizetype indexOfHost(QStringView link, qsizetype from)
{
    for (qsizetype at = from; at + hostKey.size() <= link.size(); ++at) {
        if (link[at] == hostKey[0] && link.sliced(at, hostKey.size()) == hostKey)
            return at;
    }
    return -1;
}

// The template's fixed texts, and where captures sit after them.
constexpr QStringView cellTag = u"<td ";
constexpr QStringView classAttribute = u"class"; // then '=', a quote and the class name
constexpr QStringView linkTag = u"><a href="; // then a quote and the link
constexpr QStringView nameEnd = u"</a>";
constexpr qsizetype classNameAfterEq = 2;
constexpr qsizetype linkAfterTag = linkTag.size() + 1;
// The least distance from a link tag to the '>' before the name: one character of link and its
// quote; from a class attribute's '=': an empty class name, its quote, then the link tag.
constexpr qsizetype linkTagToName = linkAfterTag + 2;
constexpr qsizetype classEqToName = classNameAfterEq + 1 + linkTagToName;

} // namespace

TemplateMatcher::TemplateMatcher(const QString& pattern)
{
    // "<td" and "<TD" are the same to a case-insensitive expression.
    if (!readClassNames(pattern, hostsRegExpTemplate))
        readClassNames(pattern, srvcsRegExpTemplate);
}

bool TemplateMatcher::matchCell(QStringView line)
{
    const qsizetype n = line.size();
    qsizetype tag = 0;
    while (tag < n && isPatternSpace(line[tag]))
        ++tag;
    if (!sameText(line, tag, cellTag))
        return false;
    const qsizetype afterTag = tag + cellTag.size();
    const qsizetype lowestEq = afterTag + classAttribute.size();

    qsizetype nameEndAt = lastIndexOf(line, u'<', n - nameEnd.size(), afterTag);
    while (nameEndAt >= 0 && !sameText(line, nameEndAt, nameEnd))
        nameEndAt = lastIndexOf(line, u'<', nameEndAt - 1, afterTag);
    if (nameEndAt < 0)
        return false;
    // The name has one character at least.
    const qsizetype nameOpen = lastIndexOf(line, u'>', nameEndAt - 2, afterTag);
    if (nameOpen < 0)
        return false;

    // The class attribute ends before the link tag, which ends before nameOpen. Looking for it
    // first turns away the long icon lines, which hold links but no class.
    qsizetype eq = lastIndexOf(line, u'=', nameOpen - classEqToName, lowestEq);
    qsizetype close = -1;
    for (; eq >= 0; eq = lastIndexOf(line, u'=', eq - 1, lowestEq)) {
        close = classNameEnd(line, eq);
        if (close >= 0 && close < nameOpen - linkTagToName)
            break;
    }
    if (eq < 0)
        return false;

    qsizetype linkAt = lastIndexOf(line, u'>', nameOpen - linkTagToName, afterTag);
    qsizetype linkEnd = -1;
    for (; linkAt >= 0; linkAt = lastIndexOf(line, u'>', linkAt - 1, afterTag)) {
        if (!sameText(line, linkAt, linkTag) || !isQuote(line, linkAt + linkTag.size()))
            continue;
        // The link is a run of non-spaces of at least one character up to a quote. A run that
        // reaches a later link tag holds that tag's quote, so the runs that fail never overlap.
        const qsizetype start = linkAt + linkAfterTag;
        linkEnd = lastQuote(line, spaceOrLimit(line, start, nameOpen) - 1, start + 1);
        if (linkEnd >= 0)
            break;
    }
    if (linkAt < 0)
        return false;

    // The last class attribute that closes before the link tag.
    for (; eq >= 0; eq = lastIndexOf(line, u'=', eq - 1, lowestEq)) {
        close = classNameEnd(line, eq);
        if (close >= 0 && close < linkAt) {
            const qsizetype classAt = eq + classNameAfterEq;
            const qsizetype linkStart = linkAt + linkAfterTag;
            m_captures[0] = line.first(nameEndAt + nameEnd.size());
            m_captures[1] = line.sliced(classAt, close - classAt);
            m_captures[2] = line.sliced(linkStart, linkEnd - linkStart);
            m_captures[3] = line.sliced(nameOpen + 1, nameEndAt - nameOpen - 1);
            return true;
        }
    }
    return false;
}

// For the '=' of a class attribute (class= + quote + a chosen name + quote), where the closing
// quote stands; -1 for anything else.
qsizetype TemplateMatcher::classNameEnd(QStringView line, qsizetype eq) const
{
    if (!sameText(line, eq - classAttribute.size(), classAttribute) || !isQuote(line, eq + 1))
        return -1;
    const qsizetype at = eq + classNameAfterEq;
    for (const QString& name : m_classNames) {
        const qsizetype end = at + name.size();
        if (isQuote(line, end) && sameText(line, at, name))
            return end;
    }
    return -1;
}

bool TemplateMatcher::readClassNames(const QString& pattern, const QString& pageTemplate)
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
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'_' || c == u'|';
        if (!plain)
            return false;
    }
    for (const QStringView name : group.split(u'|'))
        m_classNames.append(name.toString());
    m_active = true;
    return true;
}

bool PageScan::findHostInLink(QStringView link, QStringView* host)
{
    // The expression's first match starts at the first "host=" that has a match; its greedy \S+
    // then reaches to the last '&' or '$' of the run of non-spaces after it.
    for (qsizetype at = indexOfHost(link, 0); at >= 0;) {
        const qsizetype start = at + hostKey.size();
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

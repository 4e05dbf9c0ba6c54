#include "monitor/statusrules.h"

#include "monitor/templatematcher.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringView>

#include <algorithm>

const QString hostsRegExpTemplate
    = QStringLiteral(R"(^\s*<td .*\s?class=['"](status_list)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");
const QString srvcsRegExpTemplate
    = QStringLiteral(R"(^\s*<TD .*\s?class=['"](status_list)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");

const QString statusListMark = QStringLiteral("status_list");

namespace {

QString appendStatus(const QString& list, bool chosen, const QString& status)
{
    if (!chosen)
        return list;
    return list.isEmpty() ? status : list + QLatin1Char('|') + status;
}

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
    bool usesEngine() const { return !m_template.active(); }

    enum Result { NoMatch, Match, Failed };
    Result match(QStringView line)
    {
        if (m_template.active())
            return m_template.match(line) ? Match : NoMatch;
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
        m_match = m_expression.matchView(line);
#else
        m_match = m_expression.match(line);
#endif
        // The engine's errors (its match limit, above all) come as a match that is not valid.
        if (!m_match.isValid())
            return Failed;
        return m_match.hasMatch() ? Match : NoMatch;
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

// Calls onMatch(matcher) for each line of the page that the rule's expression matches. False when
// the expression failed on a line or ran out of time; reading stops there.
template <typename OnMatch> bool matchLines(const QString& text, const PageRule& rule, OnMatch onMatch)
{
    LineMatcher matcher(rule);
    if (!matcher.isValid())
        return true;
    // Read every 16 lines: the clock costs as much as a fast line's match.
    QElapsedTimer clock;
    if (matcher.usesEngine())
        clock.start();
    unsigned lines = 0;
    const QStringView page(text);
    qsizetype start = 0;
    while (start < page.size()) {
        qsizetype end = page.indexOf(u'\n', start);
        if (end < 0)
            end = page.size();
        const QStringView line = page.sliced(start, end - start);
        start = end + 1;
        if (line.isEmpty())
            continue;
        const LineMatcher::Result result = matcher.match(line);
        if (result == LineMatcher::Match)
            onMatch(matcher);
        else if (result == LineMatcher::Failed)
            return false;
        if (clock.isValid() && ++lines % 16 == 0 && clock.hasExpired(rule.timeLimitMs))
            return false;
    }
    return true;
}

// `text` with every occurrence of `word` removed, as QString::remove does (case-sensitive), into
// `out`. QString::remove on a reused buffer costs 2% more of a page walk (callgrind).
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

// Name cells carry names HTML-encoded, as Nagios' html_encode() writes them: "&amp;", "&#39;",
// "&#38;". A reference that is none of those stays as it is.
QString decodeCharacterReferences(QStringView cell)
{
    static const std::pair<QStringView, char16_t> named[]
        = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}};
    QString text;
    text.reserve(cell.size());
    qsizetype plain = 0; // start of the characters not yet copied
    for (qsizetype at = cell.indexOf(u'&'); at >= 0; at = cell.indexOf(u'&', at + 1)) {
        const qsizetype end = cell.indexOf(u';', at);
        if (end < 0)
            break;
        const QStringView reference = cell.sliced(at + 1, end - at - 1);
        char32_t decoded = 0;
        for (const auto& [name, character] : named) {
            if (reference == name)
                decoded = character;
        }
        if (reference.size() > 1 && reference.size() < 9 && reference[0] == u'#') {
            const bool hex = reference[1] == u'x' || reference[1] == u'X';
            const QStringView digits = reference.sliced(hex ? 2 : 1);
            // Digits alone: toUInt() would also take a sign, spaces and a "0x".
            bool ok = std::all_of(digits.begin(), digits.end(), [hex](QChar c) {
                const char16_t lower = c.unicode() | 0x20;
                return (c >= u'0' && c <= u'9') || (hex && lower >= u'a' && lower <= u'f');
            });
            const uint value = ok ? digits.toUInt(&ok, hex ? 16 : 10) : 0;
            if (ok && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
                decoded = value;
        }
        if (decoded == 0)
            continue;
        text.append(cell.sliced(plain, at - plain));
        text.append(QString::fromUcs4(&decoded, 1));
        plain = end + 1;
        at = end;
    }
    text.append(cell.sliced(plain));
    return text;
}

// The name as a row carries it: most names hold no reference and are copied as they are.
QString cellText(QStringView cell)
{
    return cell.contains(u'&') ? decodeCharacterReferences(cell) : cell.toString();
}

// Links carry names form-encoded: "+" for a space, %XX for a UTF-8 byte. A "%" without two hex
// digits stays as it is, where QByteArray::fromPercentEncoding would make a wrong byte of it.
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

QList<StatusRow> extractHostRows(const QString& text, const PageRule& rule, bool* ok)
{
    QList<StatusRow> rows;
    SharedTexts shared;
    const bool read = matchLines(text, rule, [&rows, &rule, &shared](const LineMatcher& match) {
        StatusRow row;
        row.name = cellText(match.captured(rule.namePos));
        row.link = match.captured(rule.linkPos).toString();
        row.status = shared.withoutWord(match.captured(rule.statusPos), u"status");
        rows.append(std::move(row));
    });
    if (ok)
        *ok = read;
    return rows;
}

QList<StatusRow> extractServiceRows(const QString& text, const PageRule& rule, bool* ok)
{
    QList<StatusRow> rows;
    SharedTexts shared;
    const bool read = matchLines(text, rule, [&rows, &rule, &shared](const LineMatcher& match) {
        const QStringView link = match.captured(rule.linkPos);
        QStringView host;
        if (!PageScan::findHostInLink(link, &host))
            return;
        StatusRow row;
        row.link = link.toString();
        const QStringView name = match.captured(rule.namePos);
        row.serviceName = name.contains(u'&') ? decodeCharacterReferences(name) : shared.get(name);
        const bool encoded = host.contains(u'%') || host.contains(u'+');
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
    if (ok)
        *ok = read;
    return rows;
}

bool looksLikeStatusPage(const QString& text)
{
    return readPageTotals(text).found;
}

PageTotals readPageTotals(const QString& text)
{
    PageTotals totals;
    // The line comes after the table, near the end of a page that may be megabytes long.
    const qsizetype at = text.lastIndexOf(QLatin1String("itemTotalsTitle"));
    if (at < 0)
        return totals;
    totals.found = true;
    // The first three numbers of the line's text: "Results 0 - 100 of 5919 Matching Services".
    qint64 numbers[3] = {0, 0, 0};
    int count = 0;
    bool inNumber = false;
    for (qsizetype i = text.indexOf(QLatin1Char('>'), at) + 1; i > 0 && i < text.size() && count < 3; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('<') || c == QLatin1Char('\n'))
            break;
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digit && numbers[count] < 1000000000)
            numbers[count] = numbers[count] * 10 + (c.unicode() - u'0');
        if (inNumber && !digit)
            ++count;
        inNumber = digit;
    }
    if (inNumber)
        ++count;
    if (count < 3)
        return totals;
    const qint64 first = numbers[0];
    const qint64 last = numbers[1];
    totals.matching = static_cast<int>(numbers[2]);
    // The whole list reads "1 - N of N"; a cut one gives the zero-based start of what it lists.
    const bool whole = first <= 1 && last >= numbers[2];
    totals.listed = static_cast<int>(whole ? numbers[2] : std::max<qint64>(0, last - first));
    return totals;
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
    const bool listed = settings.hostsList.contains(hostName, Qt::CaseInsensitive);
    return (!listed && !settings.onlyListedHosts) || (listed && !settings.allExceptSpecifedHosts);
}

bool hostRecoveryAnnounced(const MonitorSettings& settings, const QString& hostName)
{
    const bool listed = settings.hostsList.contains(hostName, Qt::CaseInsensitive);
    return settings.allExceptSpecifedHosts ? !listed : listed;
}

bool serviceRowCounts(const MonitorSettings& settings, const QString& serviceName)
{
    const bool listed = settings.servicesList.contains(serviceName, Qt::CaseInsensitive);
    return (!listed && !settings.onlyListedSrvcs) || (listed && !settings.allExceptSpecifedSrvcs);
}

bool serviceRecoveryAnnounced(
    const MonitorSettings& settings, const QString& serviceName, const QString& hostName)
{
    bool matched = false;
    for (const QString& entry : settings.servicesList) {
        if (entry.compare(serviceName, Qt::CaseInsensitive) == 0
            || ServiceFilterEntry(entry).matches(serviceName, hostName)) {
            matched = true;
            break;
        }
    }
    return settings.allExceptSpecifedSrvcs ? !matched : matched;
}

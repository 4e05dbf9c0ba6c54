// The page rules: the rows the program extracts with a built-in or basic expression (which the
// template matcher takes) against the same expression run by QRegularExpression line by line, with
// the options the program compiles user expressions with. Any difference aborts, naming the line.
//
// Input: byte 0 picks the expression (bits 1-4) and the page kind (bit 0), bytes 1-3 the capture
// positions of status, link and name (-1 to 5: negative, whole match, groups, beyond the groups);
// the rest, decoded as UTF-8 with any NULs kept, is the page text.

#include "config/monitorsettings.h"
#include "monitor/statusrules.h"
#include "monitor/templatematcher.h"
#include "printable.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr size_t headerSize = 4;

// Every basic expression of both kinds, then the two defaults.
QStringList pageExpressions()
{
    QStringList patterns;
    for (int bits = 0; bits < 4; ++bits)
        patterns.append(basicHostsRegExp({(bits & 1) != 0, (bits & 2) != 0, false, false, false}));
    for (int bits = 0; bits < 8; ++bits)
        patterns.append(
            basicServicesRegExp({false, false, (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0}));
    patterns.append(defaultHostsRegExp);
    patterns.append(defaultSrvcsRegExp);
    return patterns;
}

QRegularExpression compiled(const QString& pattern, QRegularExpression::PatternOptions options)
{
    QRegularExpression expression(pattern, options);
    expression.optimize();
    if (!expression.isValid()) {
        std::fprintf(stderr, "expression does not compile: %s\n", qPrintable(pattern));
        std::abort();
    }
    return expression;
}

struct Expressions
{
    QStringList patterns = pageExpressions();
    QList<QRegularExpression> pages;
    // The host of a service link, case-sensitive; "$" is literal inside the brackets.
    QRegularExpression hostInLink
        = compiled(QStringLiteral("host=(\\S+)[&$]"), QRegularExpression::UseUnicodePropertiesOption);

    Expressions()
    {
        for (const QString& pattern : patterns) {
            pages.append(compiled(pattern,
                QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption));
        }
    }
};

const Expressions& expressions()
{
    static const Expressions instance;
    return instance;
}

int hexDigit(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    if (!std::isxdigit(u))
        return -1;
    return std::isdigit(u) ? u - '0' : std::tolower(u) - 'a' + 10;
}

// Form decoding over the UTF-8 bytes: "+" is a space, "%" with two hex digits a byte, any other
// "%" stays as it is.
QString formDecoded(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '+') {
            bytes += ' ';
        } else if (utf8[i] == '%' && i + 2 < utf8.size() && hexDigit(utf8[i + 1]) >= 0
            && hexDigit(utf8[i + 2]) >= 0) {
            bytes += static_cast<char>(hexDigit(utf8[i + 1]) * 16 + hexDigit(utf8[i + 2]));
            i += 2;
        } else {
            bytes += utf8[i];
        }
    }
    return QString::fromUtf8(bytes);
}

// HTML character references in a name cell: the five named ones of XML, and "&#" with up to seven
// decimal digits or "&#x" with up to six hex digits, for a character other than NUL or a
// surrogate; the reference ends at the first ";" after its "&". Anything else stays as it is.
QString referencesDecoded(const QString& cell)
{
    static const QList<std::pair<QString, QChar>> named
        = {{QStringLiteral("amp"), u'&'}, {QStringLiteral("lt"), u'<'}, {QStringLiteral("gt"), u'>'},
            {QStringLiteral("quot"), u'"'}, {QStringLiteral("apos"), u'\''}};
    QString text;
    qsizetype copied = 0;
    for (qsizetype at = cell.indexOf(u'&'); at >= 0; at = cell.indexOf(u'&', at + 1)) {
        const qsizetype end = cell.indexOf(u';', at);
        if (end < 0)
            break;
        const QString reference = cell.mid(at + 1, end - at - 1);
        QString decoded;
        for (const auto& [name, character] : named) {
            if (reference == name)
                decoded = character;
        }
        const bool hex = reference.startsWith(QLatin1String("#x"), Qt::CaseInsensitive);
        const QString digits = reference.mid(hex ? 2 : 1);
        bool number = reference.startsWith(u'#') && !digits.isEmpty() && digits.size() <= (hex ? 6 : 7);
        char32_t value = 0;
        for (const QChar c : digits) {
            const int digit
                = hex ? hexDigit(c.toLatin1()) : (c >= u'0' && c <= u'9' ? c.unicode() - u'0' : -1);
            number = number && c.unicode() < 0x80 && digit >= 0;
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(qMax(digit, 0));
        }
        if (number && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
            decoded = QString::fromUcs4(&value, 1);
        if (decoded.isEmpty())
            continue;
        text += cell.mid(copied, at - copied) + decoded;
        copied = end + 1;
        at = end;
    }
    return text + cell.mid(copied);
}

enum class Outcome { NoRow, Row, Unknown };

// The row the expression makes of one line. Unknown when PCRE2 gave up (match or stack limit):
// then the expression says nothing about the line.
Outcome expectedRow(const QString& line, const QRegularExpression& expression, const PageRule& rule,
    bool services, StatusRow* row)
{
    const QRegularExpressionMatch match = expression.match(line);
    if (!match.isValid())
        return Outcome::Unknown;
    if (!match.hasMatch())
        return Outcome::NoRow;
    // captured() of a negative number or one beyond the groups is empty, as the program's is.
    row->link = match.captured(rule.linkPos);
    if (!services) {
        row->name = referencesDecoded(match.captured(rule.namePos));
        row->status = match.captured(rule.statusPos).remove(QStringLiteral("status"));
        return Outcome::Row;
    }
    const QRegularExpressionMatch host = expressions().hostInLink.match(row->link);
    if (!host.isValid())
        return Outcome::Unknown;
    if (!host.hasMatch())
        return Outcome::NoRow;
    // The program decodes the host of the link, which Nagios writes form-encoded, and the name cell,
    // which it writes HTML-encoded.
    row->serviceName = referencesDecoded(match.captured(rule.namePos));
    row->name = row->serviceName + QLatin1Char(':') + formDecoded(host.captured(1));
    row->status = match.captured(rule.statusPos).remove(QStringLiteral("statusBG"));
    return Outcome::Row;
}

bool sameRow(const StatusRow& a, const StatusRow& b)
{
    return a.name == b.name && a.link == b.link && a.status == b.status && a.serviceName == b.serviceName;
}

bool sameRows(const QList<StatusRow>& a, const QList<StatusRow>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameRow(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

QByteArray described(const QList<StatusRow>& rows)
{
    QByteArray out;
    for (const StatusRow& row : rows) {
        out += "  name=[" + escaped(row.name) + "] link=[" + escaped(row.link) + "] status=["
            + escaped(row.status) + "] service=[" + escaped(row.serviceName) + "]\n";
    }
    return rows.isEmpty() ? QByteArray("  (no row)\n") : out;
}

[[noreturn]] void fail(const char* what, qsizetype lineNumber, const QString& line, const PageRule& rule,
    bool services, const QList<StatusRow>& program, const QList<StatusRow>& expected)
{
    std::fprintf(stderr,
        "%s on line %lld: [%s]\n%s rule, positions status %d link %d name %d, expression %s\n"
        "program:\n%sexpression:\n%s",
        what, static_cast<long long>(lineNumber), escaped(line).constData(), services ? "services" : "hosts",
        rule.statusPos, rule.linkPos, rule.namePos, qPrintable(rule.pattern), described(program).constData(),
        described(expected).constData());
    std::abort();
}

QList<StatusRow> programRows(const QString& text, const PageRule& rule, bool services)
{
    bool read = false;
    QList<StatusRow> rows
        = services ? extractServiceRows(text, rule, &read) : extractHostRows(text, rule, &read);
    // The template matcher has no limit to give up at.
    if (!read) {
        std::fprintf(stderr, "the program gave up on a page with a built-in expression\n");
        std::abort();
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Were the matcher to turn one of them down, the program would run the expression too and
    // nothing would be compared.
    for (const QString& pattern : expressions().patterns) {
        if (!TemplateMatcher(pattern).active()) {
            std::fprintf(stderr, "the template matcher does not take %s\n", qPrintable(pattern));
            std::abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < headerSize)
        return 0;
    const Expressions& all = expressions();
    const bool services = (data[0] & 1) != 0;
    const int which = (data[0] >> 1) % all.patterns.size();
    const auto position = [](uint8_t byte) { return byte % 7 - 1; };
    const PageRule rule {all.patterns.at(which), position(data[1]), position(data[2]), position(data[3])};
    const QString text = QString::fromUtf8(
        reinterpret_cast<const char*>(data + headerSize), static_cast<qsizetype>(size - headerSize));

    // Lines as the program cuts them: between "\n", empty ones dropped.
    const QStringList lines = text.split(QLatin1Char('\n'));
    QList<StatusRow> expected;
    QList<Outcome> outcomes;
    bool known = true;
    for (const QString& line : lines) {
        if (line.isEmpty()) {
            outcomes.append(Outcome::NoRow);
            continue;
        }
        StatusRow row;
        const Outcome outcome = expectedRow(line, all.pages.at(which), rule, services, &row);
        outcomes.append(outcome);
        known = known && outcome != Outcome::Unknown;
        if (outcome == Outcome::Row)
            expected.append(row);
    }

    const QList<StatusRow> rows = programRows(text, rule, services);
    if (known && sameRows(rows, expected))
        return 0;

    // Line by line, to name the line that differs; lines the expression gave up on are left out.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty() || outcomes.at(i) == Outcome::Unknown)
            continue;
        QList<StatusRow> lineExpected;
        StatusRow row;
        if (expectedRow(lines.at(i), all.pages.at(which), rule, services, &row) == Outcome::Row)
            lineExpected.append(row);
        const QList<StatusRow> lineRows = programRows(lines.at(i), rule, services);
        if (!sameRows(lineRows, lineExpected))
            fail("rows differ", i + 1, lines.at(i), rule, services, lineRows, lineExpected);
    }
    if (known)
        fail("the page's rows differ though every line agrees", 0, QString(), rule, services, rows, expected);
    return 0;
}

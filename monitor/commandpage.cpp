#include "monitor/commandpage.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <optional>

namespace {

QString decodeEntities(const QString& text)
{
    static const QRegularExpression entity(QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-zA-Z]+);"));
    QString out;
    qsizetype from = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        const QString name = m.captured(1);
        char32_t code = 0;
        if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
            code = name.mid(2).toUInt(nullptr, 16);
        else if (name.startsWith(QLatin1Char('#')))
            code = name.mid(1).toUInt();
        else if (name == QLatin1String("amp"))
            code = '&';
        else if (name == QLatin1String("lt"))
            code = '<';
        else if (name == QLatin1String("gt"))
            code = '>';
        else if (name == QLatin1String("quot"))
            code = '"';
        else if (name == QLatin1String("apos"))
            code = '\'';
        else if (name == QLatin1String("nbsp"))
            code = ' ';
        if (code > 0 && code <= 0x10FFFF)
            out += QString::fromUcs4(&code, 1);
        else
            out += m.captured(0);
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

// The visible text of an HTML fragment on one line.
QString plainText(const QString& html)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = decodeEntities(QString(html).replace(tag, QStringLiteral(" "))).simplified();
    if (text.size() > maxCommandReasonLength)
        text = text.left(maxCommandReasonLength - 3) + QLatin1String("...");
    return text;
}

// cmd.cgi's refusals: an errorMessage box ("Sorry, but you are not authorized to commit the
// specified command.") or a bare "Error: ..." paragraph (the CSRF check).
QString errorSentence(const QString& page)
{
    static const QRegularExpression box(
        QStringLiteral("<div[^>]*class\\s*=\\s*['\"]?errorMessage['\"]?[^>]*>(.*?)</div>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression error(QStringLiteral("\\bError:[^<]*"));
    QRegularExpressionMatch m = box.match(page);
    if (m.hasMatch())
        return plainText(m.captured(1));
    m = error.match(page);
    return m.hasMatch() ? plainText(m.captured(0)) : QString();
}

QString pageOf(const QByteArray& body)
{
    const qsizetype nul = body.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? body : body.left(nul));
}

} // namespace

CommandAnswer readCommandAnswer(const QByteArray& body)
{
    static const QRegularExpression confirmed(
        QStringLiteral("Your command (?:request )?was (?:successfully )?submitted[^<]*"),
        QRegularExpression::CaseInsensitiveOption);
    const QString page = pageOf(body);
    const QString sentence = errorSentence(page);
    if (!sentence.isEmpty())
        return {false, sentence};
    const QRegularExpressionMatch m = confirmed.match(page);
    if (m.hasMatch())
        return {true, plainText(m.captured(0))};
    return {false, QString()};
}

QString commandRefusal(const QByteArray& page)
{
    return errorSentence(pageOf(page));
}

QList<QPair<QString, QString>> commandFormFields(const QByteArray& body)
{
    static const QRegularExpression formStart(
        QStringLiteral("<form\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression formEnd(
        QStringLiteral("</form\\s*>"), QRegularExpression::CaseInsensitiveOption);
    // Up to the next "<" as well: Nagios 4.4.6 leaves the nagFormId input without its ">".
    static const QRegularExpression input(
        QStringLiteral("<input\\b([^<>]*)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(QStringLiteral(
        "([a-zA-Z_:][-a-zA-Z0-9_:.]*)(?:\\s*=\\s*(?:'([^']*)'|\"([^\"]*)\"|([^\\s'\"<>]+)))?"));

    QList<QPair<QString, QString>> fields;
    const QString page = pageOf(body);
    const QRegularExpressionMatch start = formStart.match(page);
    if (!start.hasMatch())
        return fields;
    const QRegularExpressionMatch end = formEnd.match(page, start.capturedEnd());
    const QString form
        = page.mid(start.capturedEnd(), end.hasMatch() ? end.capturedStart() - start.capturedEnd() : -1);

    auto inputs = input.globalMatch(form);
    while (inputs.hasNext()) {
        QString type = QStringLiteral("text");
        QString name;
        QString value;
        auto attributes = attribute.globalMatch(inputs.next().captured(1));
        while (attributes.hasNext()) {
            const QRegularExpressionMatch a = attributes.next();
            const QString key = a.captured(1).toLower();
            const QString text = a.captured(2) + a.captured(3) + a.captured(4);
            if (key == QLatin1String("type"))
                type = text.toLower();
            else if (key == QLatin1String("name"))
                name = decodeEntities(text);
            else if (key == QLatin1String("value"))
                value = decodeEntities(text);
        }
        if (!name.isEmpty() && (type == QLatin1String("hidden") || type == QLatin1String("text")))
            fields.append({name, value});
    }
    return fields;
}

DowntimeTimes downtimeTimes(
    const QString& formStartTime, qint64 startOffsetSeconds, int durationMinutes, const QDateTime& now)
{
    static const QRegularExpression stamp(
        QStringLiteral("^(\\d{2}|\\d{4})-(\\d{2})-(\\d{2}|\\d{4})([ T])(\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = stamp.match(formStartTime.trimmed());
    if (!m.hasMatch() || (m.capturedLength(1) == 4) == (m.capturedLength(3) == 4))
        return {};
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    const auto field = [&m](int n) { return m.captured(n).toInt(); };
    // Each reading with the format that writes it back; the time of day is the same in all.
    QList<std::pair<QDate, QString>> readings;
    if (m.capturedLength(1) == 4) {
        readings.append({QDate(field(1), field(2), field(3)),
            m.captured(4) == QLatin1String("T") ? QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")
                                                : QStringLiteral("yyyy-MM-dd HH:mm:ss")});
    } else if (m.captured(4) == QLatin1String(" ")) {
        readings.append({QDate(field(3), field(1), field(2)), QStringLiteral("MM-dd-yyyy HH:mm:ss")});
        readings.append({QDate(field(3), field(2), field(1)), QStringLiteral("dd-MM-yyyy HH:mm:ss")});
    }
    // The server's clock as if it were UTC: only differences and the nearness to now count.
    const QDateTime reference = QDateTime(now.toUTC().date(), now.toUTC().time(), QTimeZone::utc());
    std::optional<std::pair<QDateTime, QString>> best;
    for (const auto& [date, format] : std::as_const(readings)) {
        const QDateTime start(date, time, QTimeZone::utc());
        if (!date.isValid() || !time.isValid())
            continue;
        if (!best || qAbs(start.secsTo(reference)) < qAbs(best->first.secsTo(reference)))
            best = std::pair(start, format);
    }
    if (!best)
        return {};
    const QDateTime start = best->first.addSecs(startOffsetSeconds);
    return {start.toString(best->second), start.addSecs(qint64(durationMinutes) * 60).toString(best->second)};
}

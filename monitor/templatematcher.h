#pragma once

#include <QList>
#include <QString>
#include <QStringView>

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
    // Active when the pattern is the hosts or services template with plain class names.
    explicit TemplateMatcher(const QString& pattern);

    bool active() const { return m_active; }
    bool match(QStringView line)
    {
        // Most lines start with a tag other than "<td ": no call for them. ("t" and "d" have no
        // other case-insensitive forms.)
        if (line.size() >= 4 && line[0] == u'<'
            && ((line[1].unicode() | 0x20) != u't' || (line[2].unicode() | 0x20) != u'd' || line[3] != u' '))
            return false;
        return matchCell(line);
    }

    // Capture 0 to 3 of the last match, valid while its line lives; empty for any other number.
    QStringView captured(int position) const
    {
        return position >= 0 && position < 4 ? m_captures[position] : QStringView();
    }

private:
    bool matchCell(QStringView line);
    qsizetype classNameEnd(QStringView line, qsizetype eq) const;
    bool readClassNames(const QString& pattern, const QString& pageTemplate);

    QList<QString> m_classNames;
    QStringView m_captures[4];
    bool m_active = false;
};

// The scans of the matcher serve the row extraction too.
namespace PageScan {

// The host of a service link as "host=(\S+)[&$]" finds it, "$" being an ordinary character inside
// the brackets.
bool findHostInLink(QStringView link, QStringView* host);

} // namespace PageScan

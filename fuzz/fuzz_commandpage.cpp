// The pages of cmd.cgi as the commands read them: the form's fields and the answer's verdict, from
// any bytes. What the user is shown must stay one bounded line, a form field must have a name, and
// a page must read the same as its part before the first NUL; any break aborts with what broke.
//
// Input: the whole answer body.

#include "monitor/commandpage.h"
#include "printable.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool holds, const char* what, const QString& detail = QString())
{
    if (holds)
        return;
    std::fprintf(stderr, "command page: %s [%s]\n", what, escaped(detail).constData());
    std::abort();
}

void checkReason(const QString& reason)
{
    check(reason.size() <= maxCommandReasonLength, "a reason longer than the bound", reason);
    check(reason == reason.simplified(), "a reason that is not one simplified line", reason);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QList<QPair<QString, QString>> fields = commandFormFields(page);
    for (const auto& [name, value] : fields)
        check(!name.isEmpty(), "a form field without a name", value);

    const CommandAnswer answer = readCommandAnswer(page);
    checkReason(answer.reason);
    check(!answer.confirmed || !answer.reason.isEmpty(), "a confirmation without its sentence");
    const QString refusal = commandRefusal(page);
    checkReason(refusal);
    check(refusal.isEmpty() || (!answer.confirmed && answer.reason == refusal),
        "a refusal that the answer does not give", refusal);

    const qsizetype nul = page.indexOf('\0');
    if (nul >= 0) {
        const QByteArray before = page.left(nul);
        check(commandFormFields(before) == fields, "the fields differ after a NUL");
        const CommandAnswer beforeAnswer = readCommandAnswer(before);
        check(beforeAnswer.confirmed == answer.confirmed && beforeAnswer.reason == answer.reason,
            "the answer differs after a NUL", answer.reason);
    }
    return 0;
}

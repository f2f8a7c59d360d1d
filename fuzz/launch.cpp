// Any file name: commandLineRomName refuses it exactly when it holds a double
// quote or a control character or starts with "-"; otherwise the script's command line splits
// back into quex.exe, the options and exactly the original name.

#include "launch/script.h"
#include "launch/script_command_line.h"
#include "options/options_line.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QList>

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    options::CheckValues checks{};
    for (int &box : checks)
        box = input.ConsumeIntegralInRange(0, 1);
    options::FieldTexts texts;
    for (QString &text : texts)
        text = QString::fromStdString(input.ConsumeRandomLengthString(12));
    const QByteArray options = options::buildOptionsLine(checks, texts).toLatin1();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray name(rest.data(), qsizetype(rest.size()));
    if (name.isEmpty())
        return 0; // no file has an empty name

    const std::optional<QByteArray> argument = launch::commandLineRomName(name);
    const bool unsafe = name.startsWith('-') || std::any_of(name.begin(), name.end(), [](char c) {
                            return c == '"' || static_cast<unsigned char>(c) < 32;
                        });
    if (unsafe != !argument)
        std::abort();
    if (!argument)
        return 0;

    const QByteArray script = launch::scriptBytes(options, *argument);
    const QList<QByteArray> lines = script.split('\n');
    if (lines.size() != 5 || !lines[2].endsWith('\r'))
        std::abort(); // four lines, CR LF each
    std::vector<QByteArray> expected{"quex.exe"};
    for (const QByteArray &option : options.split(' '))
        if (!option.isEmpty())
            expected.push_back(option);
    expected.push_back(name);
    if (launch::splitScriptCommandLine(lines[2].chopped(1)) != expected)
        std::abort();
    return 0;
}

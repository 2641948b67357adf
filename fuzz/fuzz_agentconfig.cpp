// Fuzzes the agent's INI reader on a buffer as the file would hold it, with [Mqtt] as a section
// handed to another part. A parse never crashes and:
// - a refusal names the file and a line of the text ("agent.ini:N: ...", 1 <= N <= lines);
// - an accepted file's [Recorder] values lie within the bounds the manual gives;
// - the same text parses the same way again.
#include "AgentConfig.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_agentconfig: %s\ninput: %s\n", what,
                 input.toPercentEncoding().data());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList handed{QStringLiteral("Mqtt")};
    AgentConfig config;
    QString error;
    const bool ok = ParseAgentConfig(text, QStringLiteral("agent.ini"), handed, &config, &error);
    AgentConfig again;
    QString errorAgain;
    Check(ParseAgentConfig(text, QStringLiteral("agent.ini"), handed, &again, &errorAgain) == ok &&
              errorAgain == error,
          "a second parse of the same text differs", text);
    if (!ok) {
        Check(error.startsWith(QStringLiteral("agent.ini:")), "a refusal without the file", text);
        const int line = error.section(u':', 1, 1).toInt();
        Check(line >= 1 && line <= text.count('\n') + text.count('\r') + 1,
              "a refusal names no line of the text", text);
        return 0;
    }
    const RecorderConfig &r = config.recorder;
    Check(r == again.recorder, "a second parse of the same text gives other values", text);
    Check(r.intervalMs >= 1 && r.intervalMs <= 3'600'000, "IntervalMs out of bounds", text);
    Check(r.retentionDays >= 1 && r.retentionDays <= 36'500, "RetentionDays out of bounds", text);
    Check(r.maxDatabaseMB >= 1 && r.maxDatabaseMB <= 16 * 1024 * 1024,
          "MaxDatabaseMB out of bounds", text);
    Check(!r.loadingMode || *r.loadingMode == 0 || *r.loadingMode == 1, "LoadingMode not 0 or 1",
          text);
    for (int32_t card : r.boards)
        Check(card >= 0, "a negative card", text);
    for (const auto &[name, entries] : config.handed)
        Check(name.compare(QStringLiteral("Mqtt"), Qt::CaseInsensitive) == 0,
              "a section handed on that was not asked for", text);
    return 0;
}

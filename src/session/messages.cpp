#include "session/messages.h"

#include <cstdio>

#include "session/frames.h"

namespace comflash::session {

std::string endMessage(const Result& result, bool useEnglish) {
    switch (result.outcome) {
        case Outcome::OtherModel:
            return "Model Error！";
        case Outcome::Failed:
            return failureText(result.address);
        case Outcome::PortUnavailable:
        case Outcome::PortFailed:
            return useEnglish ? "Please reselect COM port!" : "请重新选择端口！";
        case Outcome::VerifyFailed: {
            const Mismatch& m = result.mismatch;
            char text[160];
            std::snprintf(text, sizeof text,
                          "Verify failed: 0x%04X holds %02X, not %02X; %d %s. The "
                          "application was not started.",
                          static_cast<unsigned>(m.address), m.actual, m.expected, m.count,
                          m.count == 1 ? "byte differs" : "bytes differ");
            return text;
        }
        case Outcome::Succeeded:
        case Outcome::Cancelled:
        case Outcome::HandshakeRefused:
        case Outcome::Closed:
            break;
    }
    return {};
}

std::string_view retryPrompt(bool useEnglish) {
    return useEnglish ? "Check connection!Retry or cancel?" : "检测连接！重试或取消？";
}

}  // namespace comflash::session

// A link engine that opens no port: it reports "No Port" until the serial link engine is joined in.
#include <atomic>

#include "commserver/app/EngineFactory.h"

namespace quendar {
namespace {

class NoLinkEngine : public ServerEngine {
public:
    void Configure(const ServerSettings&) override {}
    void LoadUserTables(const std::string&, int) override {}
    void CloseUserTables() override {}
    int SecurityState() const override { return 0; }
    void Start() override {}
    bool Stop(int) override { return true; }
    void PostRequest(int) override {}
    int UiStatus() const override { return UiStatus::NoPort; }
    void SetNotificationFlag(bool) override {}
    void SetNotify(std::function<void()>) override {}
    void SetActivity(std::function<void()>) override {}
    comms::LinkLayer& Link() override { return link_; }
    int ModemSample() const override { return 0; }
    std::array<std::uint32_t, 5> RxHistory() const override { return {}; }
    std::array<std::uint32_t, 5> TxHistory() const override { return {}; }
    std::uint32_t HistorySecond() const override { return 0; }
    void ResetHistories() override {}
    std::array<std::uint32_t, 9> SecurityCounters() const override { return {}; }
    EngineView View() const override { return {}; }
    comms::HistoryLog::SessionNames SessionNames() const override { return {}; }

private:
    comms::LinkLayer link_;
};

} // namespace

std::unique_ptr<ServerEngine> MakeServerEngine(comms::HistoryLog&) { return std::make_unique<NoLinkEngine>(); }

} // namespace quendar

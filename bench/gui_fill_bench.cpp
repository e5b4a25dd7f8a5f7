// Filling the main dialog from a packet of 5,000 watched records (lists, selection and the
// first process's 16 threads shown, the dialog laid out and painted), and the watch-list editor
// from the same copy, beside the TesmarRefresh that reads that 21 MB packet from the scripted
// Data key and the whole Refresh command.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "DlgAddProcs.h"
#include "MyList.h"
#include "TesmarGuiDlg.h"
#include "application_setup.h"
#include "support/scripted_service.h"

namespace {

using tesmar::testing::BuildPacket;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::ScriptedService;

constexpr int kRecords = 5000;

tesmar::testing::TestPacket FiveThousandRecords() {
  std::vector<ScriptedRecord> records(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    ScriptedRecord& record = records[static_cast<size_t>(i)];
    std::string name = "process" + std::to_string((i * 7919) % kRecords) + ".exe";
    record.name.assign(name.begin(), name.end());
    record.processId = static_cast<uint32_t>(1000 + 4 * i);
    record.affinity = 0xFFFFu >> (i % 16);
    record.threadCount = 16;
    record.threadAffinity.assign(16, record.affinity);
  }
  return BuildPacket(16, records);
}

struct Dialog {
  ScriptedService service{FiveThousandRecords()};
  TesmarSession* session = nullptr;
  tesmar::gui::CTesmarGuiDlg dialog;
  Dialog() {
    service.WaitUntilServing();
    session = TesmarOpen(0);
    TesmarConnect(session, nullptr);
    dialog.Session = session;
    dialog.ConnectionMode = 0;
    dialog.OnInitDialog();
    dialog.show();
    QApplication::processEvents();
  }
  ~Dialog() { TesmarClose(session); }
};

// Made in main, inside the application's life, and ended before it: the dialog needs the
// application, and the stand-in service must be stopped before the process ends.
Dialog* shared = nullptr;

Dialog& Shared() {
  return *shared;
}

void BM_FillFromCopy(benchmark::State& state) {
  Dialog& d = Shared();
  for (auto _ : state) {
    d.dialog.FillFromCopy();
    d.dialog.repaint();
    QApplication::processEvents();
  }
  state.counters["entries"] = d.dialog.processList().GetCount();
}
BENCHMARK(BM_FillFromCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EditorFillFromCopy(benchmark::State& state) {
  Dialog& d = Shared();
  tesmar::gui::CDlgAddProcs& editor = d.dialog.watchEditor();
  editor.EditorSession = d.session;
  editor.show();
  for (auto _ : state) {
    editor.FillFromCopy();
    editor.repaint();
    QApplication::processEvents();
  }
  state.counters["entries"] = editor.WatchedCount + editor.UnwatchedCount;
  editor.hide();
}
BENCHMARK(BM_EditorFillFromCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Refresh(benchmark::State& state) {
  Dialog& d = Shared();
  for (auto _ : state) benchmark::DoNotOptimize(TesmarRefresh(d.session));
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RefreshCommand(benchmark::State& state) {
  Dialog& d = Shared();
  for (auto _ : state) {
    d.dialog.OnRefresh();
    d.dialog.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_RefreshCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  tesmar::gui::ConfigureApplication();
  benchmark::Initialize(&argc, argv);
  {
    Dialog dialog;
    shared = &dialog;
    benchmark::RunSpecifiedBenchmarks();
    shared = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}

#include "base/diagnostics.h"

namespace pix {

void TDiagnostics::Problem(const std::string& text) {
  ++Problems;
  WriteProblem(text);
}

void TDiagnostics::Detail(const std::string& text) { WriteDetail(text); }

void TStreamDiagnostics::WriteProblem(const std::string& text) { WriteLine(text); }

void TStreamDiagnostics::WriteDetail(const std::string& text) {
  if (bVerbose) WriteLine(text);
}

void TStreamDiagnostics::WriteLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(Mutex);
  if (BeforeLine) BeforeLine();
  Out << text << '\n';
  Out.flush();
}

std::vector<std::string> TCollectedDiagnostics::Problems() const {
  std::lock_guard<std::mutex> lock(Mutex);
  return ProblemLines;
}

std::vector<std::string> TCollectedDiagnostics::Details() const {
  std::lock_guard<std::mutex> lock(Mutex);
  return DetailLines;
}

std::vector<std::string> TCollectedDiagnostics::Notices() const {
  std::lock_guard<std::mutex> lock(Mutex);
  return NoticeLines;
}

void TCollectedDiagnostics::WriteNotice(const std::string& text) {
  std::lock_guard<std::mutex> lock(Mutex);
  NoticeLines.push_back(text);
}

std::string TCollectedDiagnostics::ProblemText() const {
  std::lock_guard<std::mutex> lock(Mutex);
  std::string text;
  for (const std::string& line : ProblemLines) text += line + "\n";
  return text;
}

void TCollectedDiagnostics::WriteProblem(const std::string& text) {
  std::lock_guard<std::mutex> lock(Mutex);
  ProblemLines.push_back(text);
}

void TCollectedDiagnostics::WriteDetail(const std::string& text) {
  std::lock_guard<std::mutex> lock(Mutex);
  DetailLines.push_back(text);
}

namespace {
std::atomic<TDiagnostics*> gDetailSink{nullptr};
}  // namespace

void SetDetailSink(TDiagnostics* sink) { gDetailSink.store(sink); }

void ReportDetail(const std::string& text) {
  if (TDiagnostics* sink = gDetailSink.load()) sink->Detail(text);
}

}  // namespace pix

#include "base/diagnostics.h"

namespace pix {

void Diagnostics::Problem(const std::string& text) {
  ++problems_;
  WriteProblem(text);
}

void Diagnostics::ProblemWith(const std::string& file, const std::string& text) {
  ++problems_;
  WriteProblemWith(file, text);
}

void Diagnostics::Detail(const std::string& text) { WriteDetail(text); }

void StreamDiagnostics::WriteProblem(const std::string& text) { WriteLine(text); }

void StreamDiagnostics::WriteDetail(const std::string& text) {
  if (verbose_) WriteLine(text);
}

void StreamDiagnostics::WriteLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (before_line_) before_line_();
  out_ << text << '\n';
  out_.flush();
}

std::vector<std::string> CollectedDiagnostics::Problems() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_lines_;
}

std::vector<std::string> CollectedDiagnostics::Details() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return detail_lines_;
}

std::vector<std::string> CollectedDiagnostics::Notices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notice_lines_;
}

void CollectedDiagnostics::WriteNotice(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  notice_lines_.push_back(text);
}

std::string CollectedDiagnostics::ProblemText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (const std::string& line : problem_lines_) text += line + "\n";
  return text;
}

void CollectedDiagnostics::WriteProblem(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  problem_lines_.push_back(text);
  problem_files_.emplace_back();
}

void CollectedDiagnostics::WriteProblemWith(const std::string& file, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  problem_lines_.push_back(text);
  problem_files_.push_back(file);
}

std::vector<std::string> CollectedDiagnostics::ProblemFiles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_files_;
}

void CollectedDiagnostics::WriteDetail(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  detail_lines_.push_back(text);
}

namespace {
std::atomic<Diagnostics*> detail_sink{nullptr};
}  // namespace

void SetDetailSink(Diagnostics* sink) { detail_sink.store(sink); }

void ReportDetail(const std::string& text) {
  if (Diagnostics* sink = detail_sink.load()) sink->Detail(text);
}

}  // namespace pix

// Where the core reports what went wrong without stopping: the one sink for problems a user
// can act on (a directory that cannot be read, a setting that was ignored, a series that
// got no page) and for the detail lines of the picture libraries.
//
// A command or window hands its sink to the work it starts, beside its UserInterface. The
// command line writes problems to its standard error and counts them toward exit status 1;
// detail lines are shown only when asked for. Tests collect both and look at them.
// Implementations may be called from several threads at once.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace pix {

class Diagnostics {
 public:
  virtual ~Diagnostics() = default;

  /// A problem the user can act on: one line, without a line end. Counted.
  void Problem(const std::string& text);
  /// A problem with one file (a damaged picture): counted like Problem. A window lists the
  /// file beside the text, so that the user can go to it.
  void ProblemWith(const std::string& file, const std::string& text);
  /// A detail line of the picture libraries: why a file could not be read, and the like.
  void Detail(const std::string& text);
  /// Something the user should know that is not a problem (a page edited by hand whose
  /// head is kept): shown like a problem, but not counted.
  void Notice(const std::string& text) { WriteNotice(text); }

  /// The problems reported so far.
  int ProblemCount() const { return problems_.load(); }

 protected:
  virtual void WriteProblem(const std::string& text) = 0;
  /// By default the text alone, which names the file itself.
  virtual void WriteProblemWith(const std::string& file, const std::string& text) {
    (void)file;
    WriteProblem(text);
  }
  virtual void WriteDetail(const std::string& text) = 0;
  virtual void WriteNotice(const std::string& text) = 0;

 private:
  std::atomic<int> problems_{0};
};

/// Writes to a stream: problems always, details only when `verbose`.
class StreamDiagnostics : public Diagnostics {
 public:
  StreamDiagnostics(std::ostream& out, bool verbose) : out_(out), verbose_(verbose) {}

  /// Called before a line is written, so that a progress line can make room.
  void SetBeforeLine(std::function<void()> before) { before_line_ = std::move(before); }

 protected:
  void WriteProblem(const std::string& text) override;
  void WriteDetail(const std::string& text) override;
  void WriteNotice(const std::string& text) override { WriteLine(text); }

 private:
  void WriteLine(const std::string& text);

  std::mutex mutex_;
  std::ostream& out_;
  bool verbose_;
  std::function<void()> before_line_;
};

/// Keeps every line: for tests, and for a window that shows a run's problems at its end.
class CollectedDiagnostics : public Diagnostics {
 public:
  std::vector<std::string> Problems() const;
  /// The file of each problem, in the same order: empty for a problem not about one file.
  std::vector<std::string> ProblemFiles() const;
  std::vector<std::string> Details() const;
  std::vector<std::string> Notices() const;
  /// Every problem, one a line.
  std::string ProblemText() const;

 protected:
  void WriteProblem(const std::string& text) override;
  void WriteProblemWith(const std::string& file, const std::string& text) override;
  void WriteDetail(const std::string& text) override;
  void WriteNotice(const std::string& text) override;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> problem_lines_;
  std::vector<std::string> problem_files_;
  std::vector<std::string> detail_lines_;
  std::vector<std::string> notice_lines_;
};

/// The picture libraries report their detail lines here, far below any caller that could
/// hand them a sink; the program names its sink once at start-up. Without one the lines are
/// dropped.
void SetDetailSink(Diagnostics* sink);
/// Sends `text` to the detail sink, if there is one.
void ReportDetail(const std::string& text);

}  // namespace pix

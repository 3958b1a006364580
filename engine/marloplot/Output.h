#pragma once
#include <string>
#include <vector>

#include "plot/Canvas.h"

namespace marloplot {

// The picture is drawn into a temporary file beside the result (same folder,
// so the rename is atomic) and renamed over the result only once complete;
// on any failure the temporary file is removed and an existing result is
// left as it was.
class PendingOutput {
 public:
  // Throws InputError when the folder cannot take a file, or when the result
  // would overwrite one of the inputs.
  PendingOutput(const std::string& path, const std::vector<std::string>& inputs);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  const std::string& tempPath() const { return m_temp; }
  const std::string& path() const { return m_path; }
  void commit();

 private:
  std::string m_path, m_temp;
  bool m_done = false;
};

// Options every subcommand shares.
struct PictureOptions {
  std::string out;
  plot::Format format = plot::Format::kPng;
  double width = 0, height = 0;  // 0: the subcommand's default
  std::string title;
  bool titleGiven = false;
};

}  // namespace marloplot

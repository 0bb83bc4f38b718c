// The page text of a transfer, built while the transfer goes on.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/download_control/core/dfiles.h"

namespace tw::corvala {

// True for the code pages a text can be converted from block by block: single and double byte
// ones, and UTF-8 (a character's start is known from the bytes before it).
bool ConvertsByBlocks(UINT codePage, const CPINFO& cp);

// Converts the content's full blocks from the ANSI code page on a worker thread as they are
// handed over, in order, keeping a character that straddles two blocks together; Finish converts
// the rest on the calling thread and gives the whole text as one string. Each block is let go
// as soon as it is converted, so the content and its text are never both held whole. When the
// transfer announced its size, the text is converted straight into the string the event carries
// (at most one unit a byte, cut to size at the end); otherwise, or past the announced size, into
// pieces joined at the end. The thread starts with the first block (short transfers never start
// it) and ends with the builder.
class TextBuilder final : public download::ContentTextBuilder {
 public:
  TextBuilder(UINT codePage, const CPINFO& cp);
  ~TextBuilder() override;
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  void Add(std::string block, std::size_t announced) override;
  void Reset() override;
  // Everything handed over and then `rest` (emptied on the way), as one string; null when memory
  // ran out. The builder is empty afterwards.
  BSTR Finish(std::vector<std::string>& rest);

 private:
  struct Chunk {
    std::unique_ptr<wchar_t[]> text;
    std::size_t length;
  };
  static DWORD WINAPI Run(void* self);
  void Work();
  void WaitIdle();
  void Clear();
  // Converts the next part of the content; `last`: nothing follows it.
  void Convert(std::string_view bytes, bool last);
  void Emit(std::string_view bytes);

  const UINT codePage_;
  const CPINFO cp_;
  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE wake_, idle_;
  HANDLE thread_ = nullptr;
  std::deque<std::string> queue_;  // under lock_
  bool busy_ = false, stop_ = false;  // under lock_
  bool started_ = false;  // a block of this transfer was handed over (the caller's thread only)
  // The worker's while it is busy or blocks wait; the caller's once it is idle.
  std::string carry_;  // the start of a character that goes on in the next block
  BSTR direct_ = nullptr;  // the text, converted in place up to directUnits_ of directCapacity_
  std::size_t directUnits_ = 0, directCapacity_ = 0;
  bool directFull_ = false;  // a part did not fit: it and all after it go to chunks_
  std::vector<Chunk> chunks_;
  std::size_t units_ = 0;  // in chunks_
  bool failed_ = false;
};

}  // namespace tw::corvala

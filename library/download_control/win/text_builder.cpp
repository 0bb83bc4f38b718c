#include "library/download_control/win/text_builder.h"

#include <cstring>
#include <new>
#include <utility>

namespace tw::corvala {
namespace {

// How many bytes at the end of `bytes` begin a character that goes on past it (0 when `bytes`
// ends on a character boundary), for a double-byte or UTF-8 code page.
std::size_t OpenTail(std::string_view bytes, UINT codePage, const CPINFO& cp) {
  if (codePage == CP_UTF8) {
    std::size_t back = 0;
    while (back < bytes.size() && back < 4 && (static_cast<unsigned char>(bytes[bytes.size() - 1 - back]) & 0xC0) == 0x80)
      ++back;
    if (back == bytes.size()) return 0;
    auto lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return back + 1 < length ? back + 1 : 0;
  }
  // A byte that cannot lead always ends a character; the lead bytes after it pair up from there.
  auto isLead = [&](unsigned char b) {
    for (int i = 0; i + 1 < MAX_LEADBYTES && cp.LeadByte[i]; i += 2)
      if (b >= cp.LeadByte[i] && b <= cp.LeadByte[i + 1]) return true;
    return false;
  };
  std::size_t run = 0;
  while (run < bytes.size() && isLead(static_cast<unsigned char>(bytes[bytes.size() - 1 - run]))) ++run;
  return run % 2;
}

}  // namespace

bool ConvertsByBlocks(UINT codePage, const CPINFO& cp) { return cp.MaxCharSize <= 2 || codePage == CP_UTF8; }

TextBuilder::TextBuilder(UINT codePage, const CPINFO& cp) : codePage_(codePage), cp_(cp) {
  InitializeCriticalSection(&lock_);
  InitializeConditionVariable(&wake_);
  InitializeConditionVariable(&idle_);
}

TextBuilder::~TextBuilder() {
  if (thread_) {
    EnterCriticalSection(&lock_);
    stop_ = true;
    LeaveCriticalSection(&lock_);
    WakeAllConditionVariable(&wake_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  Clear();  // a text made ahead for a transfer that never finished
  DeleteCriticalSection(&lock_);
}

void TextBuilder::Add(std::string block, std::size_t announced) {
  // The first block of a transfer of known size: the string for its whole text, left
  // uninitialised (grown from an empty string; one allocated at its length is zero-filled first),
  // so its pages are touched only as the text fills them.
  // The worker is idle then: Finish and Reset wait for it, and this transfer gave it nothing yet.
  if (!started_ && announced && announced <= 0x7FFFFFFFu / sizeof(wchar_t)) {
    if ((direct_ = SysAllocStringLen(L"", 0)) && !SysReAllocStringLen(&direct_, nullptr, static_cast<UINT>(announced))) {
      SysFreeString(direct_);
      direct_ = nullptr;
    }
    directCapacity_ = direct_ ? announced : 0;
  }
  started_ = true;
  if (!thread_) thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  if (!thread_) {  // no thread to be had: converted here, as it comes
    Convert(block, false);
    return;
  }
  EnterCriticalSection(&lock_);
  try {
    queue_.push_back(std::move(block));
  } catch (...) {  // out of memory: the caller drops the content and resets this builder
    LeaveCriticalSection(&lock_);
    throw;
  }
  LeaveCriticalSection(&lock_);
  WakeConditionVariable(&wake_);
}

DWORD WINAPI TextBuilder::Run(void* self) {
  static_cast<TextBuilder*>(self)->Work();
  return 0;
}

void TextBuilder::Work() {
  EnterCriticalSection(&lock_);
  for (;;) {
    while (queue_.empty() && !stop_) SleepConditionVariableCS(&wake_, &lock_, INFINITE);
    if (stop_) break;
    std::string block = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    LeaveCriticalSection(&lock_);
    try {
      Convert(block, false);
    } catch (const std::bad_alloc&) {
      failed_ = true;  // Finish then gives no text, as when any other allocation fails
    }
    std::string().swap(block);
    EnterCriticalSection(&lock_);
    busy_ = false;
    if (queue_.empty()) WakeAllConditionVariable(&idle_);
  }
  LeaveCriticalSection(&lock_);
}

void TextBuilder::WaitIdle() {
  EnterCriticalSection(&lock_);
  while (busy_ || (!queue_.empty() && !stop_)) SleepConditionVariableCS(&idle_, &lock_, INFINITE);
  LeaveCriticalSection(&lock_);
}

void TextBuilder::Reset() {
  EnterCriticalSection(&lock_);
  std::deque<std::string>().swap(queue_);
  LeaveCriticalSection(&lock_);
  WaitIdle();
  Clear();
}

void TextBuilder::Clear() {
  carry_.clear();
  SysFreeString(direct_);
  direct_ = nullptr;
  directUnits_ = directCapacity_ = 0;
  directFull_ = false;
  started_ = false;
  std::vector<Chunk>().swap(chunks_);
  units_ = 0;
  failed_ = false;
}

BSTR TextBuilder::Finish(std::vector<std::string>& rest) {
  WaitIdle();
  for (std::size_t i = 0; i < rest.size(); ++i) {
    Convert(rest[i], i + 1 == rest.size());
    std::string().swap(rest[i]);
  }
  Emit(carry_);
  carry_.clear();
  // The text converted in place, cut to size; or, with pieces (none announced, or more came than
  // was), one string for all, grown from an empty string so that it is left uninitialised, the
  // pieces copied in, each let go right after. Longer than a string can be is as much a lack of
  // memory as a failed allocation.
  BSTR text = nullptr;
  const std::size_t total = directUnits_ + units_;
  if (failed_ || total > 0x7FFFFFFFu / sizeof(wchar_t)) {
    // no text
  } else if (direct_ && chunks_.empty()) {
    if (SysReAllocStringLen(&direct_, direct_, static_cast<UINT>(total))) std::swap(text, direct_);
  } else if ((text = SysAllocStringLen(L"", 0)) && SysReAllocStringLen(&text, nullptr, static_cast<UINT>(total))) {
    if (directUnits_) std::memcpy(text, direct_, directUnits_ * sizeof(wchar_t));
    wchar_t* at = text + directUnits_;
    for (Chunk& c : chunks_) {
      std::memcpy(at, c.text.get(), c.length * sizeof(wchar_t));
      at += c.length;
      c.text.reset();
    }
  } else {
    SysFreeString(text);
    text = nullptr;
  }
  Clear();
  return text;
}

void TextBuilder::Convert(std::string_view bytes, bool last) {
  if (!carry_.empty()) {
    // Complete the open character with as few bytes of this part as it needs.
    std::size_t take = 0;
    while (take < bytes.size() && take < 4) {
      ++take;
      std::string joined = carry_ + std::string(bytes.substr(0, take));
      if (OpenTail(joined, codePage_, cp_) == 0) break;
    }
    carry_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (OpenTail(carry_, codePage_, cp_) == 0 || last) {
      Emit(carry_);
      carry_.clear();
    }
  }
  std::size_t open = !last && cp_.MaxCharSize > 1 ? OpenTail(bytes, codePage_, cp_) : 0;
  Emit(bytes.substr(0, bytes.size() - open));
  carry_.append(bytes.substr(bytes.size() - open));
}

void TextBuilder::Emit(std::string_view bytes) {
  if (bytes.empty() || failed_) return;
  if (direct_ && !directFull_) {
    if (bytes.size() <= directCapacity_ - directUnits_) {
      int n = MultiByteToWideChar(codePage_, 0, bytes.data(), static_cast<int>(bytes.size()), direct_ + directUnits_,
                                  static_cast<int>(bytes.size()));
      directUnits_ += static_cast<std::size_t>(n > 0 ? n : 0);
      return;
    }
    directFull_ = true;  // more than announced: the rest goes to pieces
  }
  // At most one UTF-16 unit per byte; the chunk keeps what the conversion gave.
  std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[bytes.size()]);
  if (!text) {
    failed_ = true;
    return;
  }
  int n = MultiByteToWideChar(codePage_, 0, bytes.data(), static_cast<int>(bytes.size()), text.get(),
                              static_cast<int>(bytes.size()));
  try {
    chunks_.push_back(Chunk{std::move(text), static_cast<std::size_t>(n > 0 ? n : 0)});
  } catch (const std::bad_alloc&) {
    failed_ = true;
    return;
  }
  units_ += chunks_.back().length;
}

}  // namespace tw::corvala

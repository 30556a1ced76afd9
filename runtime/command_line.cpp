#include "command_line.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "text.h"

namespace rt {
namespace {

struct ParsedLine {
  std::vector<std::string> words;  // without the program name
};

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        word += c;
      }
    }
    words.push_back(std::move(word));
  }
  if (!words.empty()) words.erase(words.begin());
  return words;
}

// The parsed line is built once and then only read, so the lookups that the
// library makes for every window message cost no allocation and no lock.
// Overrides (tests only) keep every earlier parse alive, since another thread
// may still read it.
std::atomic<const ParsedLine*> g_current{nullptr};
std::atomic<std::uint32_t> g_generation{0};
std::mutex g_keepMutex;
std::vector<std::unique_ptr<ParsedLine>> g_kept;

const ParsedLine* Publish(std::string_view line, bool replace) {
  auto parsed = std::make_unique<ParsedLine>();
  parsed->words = SplitWords(line);
  std::lock_guard lock(g_keepMutex);
  const ParsedLine* existing = g_current.load();
  if (existing != nullptr && !replace) return existing;
  g_current.store(parsed.get());
  g_kept.push_back(std::move(parsed));
  // The first parse of the real line replaces nothing.
  if (replace) g_generation.fetch_add(1, std::memory_order_release);
  return g_current.load();
}

const ParsedLine& Current() {
  const ParsedLine* parsed = g_current.load(std::memory_order_acquire);
  if (parsed == nullptr) parsed = Publish(::GetCommandLineA(), false);
  return *parsed;
}

}  // namespace

std::string CommandLineValue(std::string_view selector) {
  const ParsedLine& line = Current();
  if (!selector.empty() && selector.front() == '/') {
    for (const std::string& word : line.words) {
      if (EqualNoCase(word, selector)) return word;
    }
    return {};
  }
  for (const std::string& word : line.words) {
    if (word.size() > selector.size() && word[selector.size()] == '=' &&
        EqualNoCase(std::string_view(word).substr(0, selector.size()), selector)) {
      return word.substr(selector.size() + 1);
    }
  }
  return {};
}

void CommandLineOverride(std::optional<std::string> line) {
  Publish(line ? *line : std::string(::GetCommandLineA()), true);
}

std::uint32_t CommandLineGeneration() {
  return g_generation.load(std::memory_order_acquire);
}

}  // namespace rt

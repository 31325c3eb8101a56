// Reading machine profiles and key dumps.
#include "sim/profile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <sstream>

#include "sim/key_codec.h"
#include "smc/smc_record.h"

namespace sim {
namespace {

enum class Section { none, machine, sources, temps, fans, keys };

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::vector<std::string_view> splitWords(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
      ++i;
    }
    const std::size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') {
      ++i;
    }
    if (i > start) {
      words.push_back(s.substr(start, i - start));
    }
  }
  return words;
}

std::optional<double> parseNumber(std::string_view s) {
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
  }
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

template <class Int>
std::optional<Int> parseInteger(std::string_view s, int base) {
  Int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
    return std::nullopt;
  }
  return v;
}

bool isFanKeyOfFiveCharacters(std::string_view key) {
  return key.size() == 5 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9' && key[2] >= '0' &&
         key[2] <= '9';
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view fileName) : text_(text), file_(fileName) {}

  Result<Profile> run() {
    const bool bareDump = !hasSectionLines();
    Section section = bareDump ? Section::keys : Section::none;
    std::size_t pos = 0;
    while (pos <= text_.size()) {
      const std::size_t end = std::min(text_.find('\n', pos), text_.size());
      std::string_view line = text_.substr(pos, end - pos);
      ++lineNumber_;
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
      }
      if (line.empty() || line.starts_with("# ") || line == "#") {
        if (end == text_.size()) {
          break;
        }
        continue;
      }
      if (!bareDump && line.front() == '[') {
        const auto s = sectionOf(trim(line));
        if (!s) {
          return fail("unknown section '" + std::string(trim(line)) +
                      "' (expected [machine], [sources], [temps], [fans] or [keys])");
        }
        section = *s;
      } else if (section != Section::keys && trim(line).starts_with('#')) {
        // A comment in a descriptive section.
      } else if (trim(line).empty()) {
        // Blank but for white space.
      } else {
        Status st;
        switch (section) {
          case Section::none:
            st = Status::failure("text before the first [section]");
            break;
          case Section::machine:
            st = machineLine(trim(line));
            break;
          case Section::sources:
            st = sourceLine(trim(line));
            break;
          case Section::temps:
            st = tempLine(trim(line));
            break;
          case Section::fans:
            st = fanLine(trim(line));
            break;
          case Section::keys:
            st = keyLine(line);
            break;
        }
        if (!st) {
          return fail(st.error());
        }
      }
      if (end == text_.size()) {
        break;
      }
    }
    if (profile_.keys.empty()) {
      return Status::failure(std::string(file_) + ": no keys (a profile needs a key table)");
    }
    for (const TempBinding& t : profile_.temps) {
      if (!sourceNames_.empty() && !sourceNames_.contains(t.source)) {
        return Status::failure(std::string(file_) + ": [temps] names the heat source '" + t.source +
                               "', which [sources] does not define");
      }
      if (!keyCodes_.contains(smc::fourCC(t.key))) {
        return Status::failure(std::string(file_) + ": [temps] names the key '" + t.key +
                               "', which the key table does not have");
      }
    }
    std::sort(profile_.keys.begin(), profile_.keys.end(),
              [](const ProfileKey& a, const ProfileKey& b) { return a.code < b.code; });
    return std::move(profile_);
  }

 private:
  bool hasSectionLines() const {
    std::size_t pos = 0;
    while (pos < text_.size()) {
      if (text_[pos] == '[') {
        return true;
      }
      const std::size_t nl = text_.find('\n', pos);
      if (nl == std::string_view::npos) {
        break;
      }
      pos = nl + 1;
    }
    return false;
  }

  static std::optional<Section> sectionOf(std::string_view s) {
    if (s == "[machine]")
      return Section::machine;
    if (s == "[sources]")
      return Section::sources;
    if (s == "[temps]")
      return Section::temps;
    if (s == "[fans]")
      return Section::fans;
    if (s == "[keys]")
      return Section::keys;
    return std::nullopt;
  }

  Status fail(const std::string& what) const {
    return Status::failure(std::string(file_) + ":" + std::to_string(lineNumber_) + ": " + what);
  }

  Status machineLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      return Status::failure("expected 'name = value' in [machine]");
    }
    const auto name = trim(line.substr(0, eq));
    const auto value = trim(line.substr(eq + 1));
    if (name == "name") {
      profile_.name = value;
    } else if (name == "description") {
      profile_.description = value;
    } else if (name == "ambient") {
      const auto v = parseNumber(value);
      if (!v) {
        return Status::failure("ambient '" + std::string(value) + "' is not a number");
      }
      profile_.ambientC = *v;
    } else {
      return Status::failure("unknown [machine] setting '" + std::string(name) +
                             "' (expected name, description or ambient)");
    }
    return {};
  }

  // Applies "word=number" settings through `set`, which answers false for unknown names.
  template <class Set>
  Status settings(const std::vector<std::string_view>& words, std::size_t from, Set set) {
    for (std::size_t i = from; i < words.size(); ++i) {
      const std::size_t eq = words[i].find('=');
      if (eq == std::string_view::npos) {
        return Status::failure("expected 'name=value', found '" + std::string(words[i]) + "'");
      }
      const auto name = words[i].substr(0, eq);
      const auto value = words[i].substr(eq + 1);
      const Status st = set(name, value);
      if (!st) {
        return st;
      }
    }
    return {};
  }

  // The number a "word=number" setting gives.
  static Result<double> settingNumber(std::string_view name, std::string_view value) {
    if (const auto v = parseNumber(value)) {
      return *v;
    }
    return Status::failure(std::string(name) + " '" + std::string(value) + "' is not a number");
  }

  Status sourceLine(std::string_view line) {
    const auto words = splitWords(line);
    HeatSource source;
    source.name = words[0];
    if (source.name.size() > 15) {
      return Status::failure("heat source name '" + source.name + "' is longer than 15 characters");
    }
    if (!sourceNames_.insert(source.name).second) {
      return Status::failure("heat source '" + source.name + "' is defined twice");
    }
    const Status st = settings(words, 1, [&](std::string_view name, std::string_view value) {
      const auto v = settingNumber(name, value);
      if (!v) {
        return Status::failure(v.error());
      }
      if (name == "idle") {
        source.idleC = *v;
      } else if (name == "rise") {
        source.riseC = *v;
      } else if (name == "cooling") {
        if (*v < 0 || *v > 1) {
          return Status::failure("cooling must be between 0 and 1");
        }
        source.cooling = *v;
      } else if (name == "tau") {
        if (*v <= 0) {
          return Status::failure("tau must be above 0 seconds");
        }
        source.tauS = *v;
      } else if (name == "load") {
        if (*v < 0 || *v > 1) {
          return Status::failure("load must be between 0 and 1");
        }
        source.load = *v;
      } else {
        return Status::failure("unknown heat source setting '" + std::string(name) +
                               "' (expected idle, rise, cooling, tau or load)");
      }
      return Status{};
    });
    if (!st) {
      return st;
    }
    profile_.sources.push_back(source);
    return {};
  }

  Status tempLine(std::string_view line) {
    const auto words = splitWords(line);
    if (words.size() < 2 || words.size() > 3) {
      return Status::failure("expected 'KEY SOURCE [OFFSET]' in [temps]");
    }
    TempBinding t;
    t.key = words[0];
    t.source = words[1];
    if (t.key.size() != 4) {
      return Status::failure("temperature key '" + t.key + "' is not four characters");
    }
    if (words.size() == 3) {
      const auto v = parseNumber(words[2]);
      if (!v) {
        return Status::failure("offset '" + std::string(words[2]) + "' is not a number");
      }
      t.hasOffset = true;
      t.offsetC = *v;
    }
    profile_.temps.push_back(t);
    return {};
  }

  Status fanLine(std::string_view line) {
    const auto words = splitWords(line);
    FanCurve curve;
    const auto index = parseInteger<int>(words[0], 10);
    if (!index || *index < 0 || *index > 31) {
      return Status::failure("fan index '" + std::string(words[0]) + "' is not 0 to 31");
    }
    curve.index = *index;
    const Status st = settings(words, 1, [&](std::string_view name, std::string_view value) {
      if (name == "stop") {
        if (value != "yes" && value != "no") {
          return Status::failure("stop must be yes or no");
        }
        curve.stopWhenCool = value == "yes";
        return Status{};
      }
      const auto v = settingNumber(name, value);
      if (!v) {
        return Status::failure(v.error());
      }
      if (name == "low") {
        curve.lowC = *v;
      } else if (name == "high") {
        curve.highC = *v;
      } else {
        return Status::failure("unknown fan setting '" + std::string(name) +
                               "' (expected low, high or stop)");
      }
      return Status{};
    });
    if (!st) {
      return st;
    }
    if (curve.highC <= curve.lowC) {
      return Status::failure("fan curve high must be above low");
    }
    profile_.fans.push_back(curve);
    return {};
  }

  Status keyLine(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (int i = 0; i < 5; ++i) {
      const std::size_t bar = line.find('|', start);
      if (bar == std::string_view::npos) {
        fields.push_back(line.substr(start));
        start = line.size() + 1;
        break;
      }
      fields.push_back(line.substr(start, bar - start));
      start = bar + 1;
    }
    if (fields.size() < 5) {
      return Status::failure("expected key|type|size|attr|hex, found " +
                             std::to_string(fields.size()) + " field(s)");
    }
    ProfileKey key;
    key.text = fields[0];
    if (key.text.size() != 4 && !isFanKeyOfFiveCharacters(key.text)) {
      return Status::failure("key '" + key.text + "' is not four characters");
    }
    if (fields[1].size() != 4) {
      return Status::failure("type '" + std::string(fields[1]) +
                             "' is not four characters (keep trailing spaces: 'ui8 ')");
    }
    key.code = smc::fourCC(key.text);
    key.dataType = smc::fourCC(fields[1]);
    const auto size = parseInteger<std::uint32_t>(fields[2], 10);
    if (!size) {
      return Status::failure("size '" + std::string(fields[2]) + "' is not a number");
    }
    if (*size > kMaxKeyBytes) {
      return Status::failure("size " + std::to_string(*size) + " is above the largest key (" +
                             std::to_string(kMaxKeyBytes) + " bytes)");
    }
    key.dataSize = *size;
    const auto attr = parseInteger<unsigned>(fields[3], 16);
    if (!attr || *attr > 0xFF || fields[3].size() > 2) {
      return Status::failure("attribute '" + std::string(fields[3]) +
                             "' is not a hexadecimal byte");
    }
    key.attributes = static_cast<std::uint8_t>(*attr);
    const auto hex = trim(fields[4]);
    if (hex == "-") {
      key.readable = false;
      key.bytes.assign(key.dataSize, 0);
    } else {
      const auto bytes = parseHex(hex);
      if (!bytes || hex.find(' ') != std::string_view::npos) {
        return Status::failure("value '" + std::string(hex) + "' is not hexadecimal bytes or '-'");
      }
      if (bytes->size() != key.dataSize) {
        return Status::failure("value has " + std::to_string(bytes->size()) +
                               " byte(s) but the size is " + std::to_string(key.dataSize));
      }
      key.bytes = *bytes;
    }
    if (!keyCodes_.insert(key.code).second) {
      return Status::failure("key '" + key.text + "' appears twice");
    }
    profile_.keys.push_back(std::move(key));
    return {};
  }

  std::string_view text_;
  std::string_view file_;
  int lineNumber_ = 0;
  Profile profile_;
  std::set<std::string> sourceNames_;
  std::set<std::uint32_t> keyCodes_;
};

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

Result<Profile> parseProfile(std::string_view text, std::string_view fileName) {
  return Parser(text, fileName).run();
}

const BuiltinProfile* findBuiltinProfile(std::string_view name) {
  const std::string wanted = lower(name);
  for (const BuiltinProfile& p : builtinProfiles()) {
    const std::string file = lower(p.file);
    if (lower(p.name) == wanted || file == wanted ||
        (file.ends_with(".profile") && file.substr(0, file.size() - 8) == wanted)) {
      return &p;
    }
  }
  return nullptr;
}

}  // namespace sim

#include "fileread/json_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace periodscan {

namespace {

// Recursive descent over the text; skip_value goes at most kMaxJsonDepth
// calls deep.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool read_top_object(std::vector<JsonMember>* members, std::string* error) {
    if (text_.size() > kMaxJsonBytes) {
      return fail("longer than " + std::to_string(kMaxJsonBytes) + " bytes", error);
    }
    skip_space();
    if (!consume('{')) return fail("the file does not hold a JSON object", error);
    skip_space();
    if (!consume('}')) {
      for (;;) {
        skip_space();
        JsonMember member;
        if (!read_string(&member.key)) return fail("a key is not a string", error);
        skip_space();
        if (!consume(':')) return fail("':' missing after a key", error);
        skip_space();
        member.offset = pos_;
        if (pos_ < text_.size() && text_[pos_] == '"') {
          member.kind = JsonMember::Kind::kString;
          if (!read_string(&member.text)) return fail("a value is not valid JSON", error);
        } else if (consume_word("null")) {
          member.kind = JsonMember::Kind::kNull;
        } else if (!skip_value(1)) {
          return fail(too_deep_ ? "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels"
                                : std::string("a value is not valid JSON"),
                      error);
        }
        members->push_back(std::move(member));
        skip_space();
        if (consume('}')) break;
        if (!consume(',')) return fail("',' or '}' missing after a value", error);
      }
    }
    skip_space();
    if (pos_ != text_.size()) return fail("text after the JSON object", error);
    return true;
  }

 private:
  bool fail(const std::string& what, std::string* error) {
    *error = what + " (at byte " + std::to_string(pos_ + 1) + ")";
    return false;
  }

  void skip_space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool consume(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool consume_word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool read_hex4(unsigned* value) {
    if (text_.size() - pos_ < 4) return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      unsigned digit;
      if (c >= '0' && c <= '9') {
        digit = unsigned(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = unsigned(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = unsigned(c - 'A' + 10);
      } else {
        return false;
      }
      *value = *value * 16 + digit;
    }
    return true;
  }

  static void append_utf8(std::string* out, unsigned code) {
    if (code < 0x80) {
      out->push_back(char(code));
    } else if (code < 0x800) {
      out->push_back(char(0xC0 | (code >> 6)));
      out->push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(char(0xE0 | (code >> 12)));
      out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(char(0x80 | (code & 0x3F)));
    } else {
      out->push_back(char(0xF0 | (code >> 18)));
      out->push_back(char(0x80 | ((code >> 12) & 0x3F)));
      out->push_back(char(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(char(0x80 | (code & 0x3F)));
    }
  }

  bool read_escape(std::string* out) {
    if (pos_ == text_.size()) return false;
    const char e = text_[pos_++];
    switch (e) {
      case '"':
      case '\\':
      case '/':
        out->push_back(e);
        return true;
      case 'b':
        out->push_back('\b');
        return true;
      case 'f':
        out->push_back('\f');
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'u': {
        unsigned code;
        if (!read_hex4(&code)) return false;
        if (code >= 0xD800 && code < 0xDC00) {
          unsigned low;
          if (!consume_word("\\u") || !read_hex4(&low) || low < 0xDC00 || low >= 0xE000) {
            return false;
          }
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code < 0xE000) {
          return false;
        }
        append_utf8(out, code);
        return true;
      }
      default:
        return false;
    }
  }

  bool read_string(std::string* out) {
    if (!consume('"')) return false;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
      } else if (!read_escape(out)) {
        return false;
      }
    }
    return false;
  }

  bool skip_number() {
    const std::size_t start = pos_;
    consume('-');
    const auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ - from;
    };
    if (pos_ < text_.size() && text_[pos_] == '0') {
      ++pos_;
    } else if (digits() == 0) {
      return false;
    }
    if (consume('.') && digits() == 0) return false;
    if (consume('e') || consume('E')) {
      if (!consume('+')) consume('-');
      if (digits() == 0) return false;
    }
    return pos_ > start;
  }

  // `depth`: the levels of arrays and objects around the value.
  bool skip_value(int depth) {
    if (pos_ >= text_.size()) return false;
    std::string ignored;
    switch (text_[pos_]) {
      case '"':
        return read_string(&ignored);
      case '{':
      case '[': {
        if (depth >= kMaxJsonDepth) {
          too_deep_ = true;
          return false;
        }
        const char close = text_[pos_] == '{' ? '}' : ']';
        ++pos_;
        skip_space();
        if (consume(close)) return true;
        for (;;) {
          skip_space();
          if (close == '}') {
            ignored.clear();
            if (!read_string(&ignored)) return false;
            skip_space();
            if (!consume(':')) return false;
            skip_space();
          }
          if (!skip_value(depth + 1)) return false;
          skip_space();
          if (consume(close)) return true;
          if (!consume(',')) return false;
        }
      }
      case 't':
        return consume_word("true");
      case 'f':
        return consume_word("false");
      case 'n':
        return consume_word("null");
      default:
        return skip_number();
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool too_deep_ = false;
};

}  // namespace

bool read_json_object(std::string_view text, std::vector<JsonMember>* members, std::string* error) {
  members->clear();
  return JsonReader(text).read_top_object(members, error);
}

bool read_small_file(const std::string& path, std::size_t max_bytes, std::string* text,
                     std::string* error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  text->clear();
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!ok) *error = path + ": not a regular file";
  char chunk[1 << 16];
  while (ok) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = path + ": cannot read: " + std::strerror(errno);
      ok = false;
    } else if (got == 0) {
      break;
    } else if (text->size() + std::size_t(got) > max_bytes) {
      *error = path + ": larger than " + std::to_string(max_bytes) + " bytes";
      ok = false;
    } else {
      text->append(chunk, std::size_t(got));
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace periodscan

#include "survey/catalogue_metadata.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace periodscan {

namespace {

constexpr int kMaxDepth = 64;

// A recursive-descent reader of just enough JSON: it checks the syntax of
// every value and keeps the top-level strings it is asked for.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool read_top_object(CatalogueMetadata* metadata, std::string* error) {
    skip_space();
    if (!consume('{')) return fail("the file does not hold a JSON object", error);
    skip_space();
    if (!consume('}')) {
      for (;;) {
        skip_space();
        std::string key;
        if (!read_string(&key)) return fail("a key is not a string", error);
        skip_space();
        if (!consume(':')) return fail("':' missing after a key", error);
        skip_space();
        if (key == "unit" || key == "origin") {
          // null: not known, as if the key were absent.
          std::string value;
          if (consume_word("null")) {
            (key == "unit" ? metadata->unit : metadata->origin).reset();
          } else if (!read_string(&value)) {
            return fail("\"" + key + "\" is not a string", error);
          } else {
            (key == "unit" ? metadata->unit : metadata->origin) = value;
          }
        } else if (!skip_value(0)) {
          return fail("a value is not valid JSON", error);
        }
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

  bool read_string(std::string* out) {
    if (!consume('"')) return false;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ == text_.size()) return false;
      const char e = text_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
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
          break;
        }
        default:
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

  bool skip_value(int depth) {
    if (depth > kMaxDepth || pos_ >= text_.size()) return false;
    std::string ignored;
    switch (text_[pos_]) {
      case '"':
        return read_string(&ignored);
      case '{':
      case '[': {
        const char close = text_[pos_] == '{' ? '}' : ']';
        ++pos_;
        skip_space();
        if (consume(close)) return true;
        for (;;) {
          skip_space();
          if (close == '}') {
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
};

bool is_regular_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool parse_catalogue_metadata(std::string_view json, CatalogueMetadata* metadata,
                              std::string* error) {
  return JsonReader(json).read_top_object(metadata, error);
}

bool read_catalogue_metadata(const std::string& events_path, CatalogueMetadata* metadata,
                             bool* found, std::string* error) {
  *found = false;
  // Catalogue preparation replaces the extension ("a/b.txt" -> "a/b.json").
  std::string candidates[2] = {{}, events_path + ".json"};
  const std::size_t slash = events_path.rfind('/');
  const std::size_t dot = events_path.rfind('.');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  // "a/.hidden" and "a.b/c" have no extension.
  if (dot != std::string::npos && dot > name_start) {
    candidates[0] = events_path.substr(0, dot) + ".json";
  }
  for (const std::string& path : candidates) {
    if (path.empty() || !is_regular_file(path)) continue;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      *error = path + ": cannot read: " + std::strerror(errno);
      return false;
    }
    *metadata = CatalogueMetadata();
    metadata->path = path;
    std::string what;
    if (!parse_catalogue_metadata(text, metadata, &what)) {
      *error = path + ": " + what;
      return false;
    }
    *found = true;
    return true;
  }
  return true;
}

}  // namespace periodscan

#include "platform/core/FormDescription.h"

#include <cctype>
#include <map>
#include <sstream>

#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

class TReader {
 public:
  explicit TReader(const std::string& Text) {
    std::istringstream in(Text);
    std::string line;
    while (std::getline(in, line)) lines_.push_back(line);
  }

  TObjectDescription ReadObject() {
    std::string first = Next();
    TObjectDescription obj;
    if (first.rfind("object ", 0) != 0) Fail("expected 'object Name: Class'");
    const size_t colon = first.find(':');
    if (colon == std::string::npos) Fail("expected 'object Name: Class'");
    obj.Name = Trim(first.substr(7, colon - 7));
    obj.ClassName = Trim(first.substr(colon + 1));
    if (obj.Name.empty() || obj.ClassName.empty()) Fail("an object needs a name and a class");
    for (;;) {
      if (AtEnd()) Fail("missing 'end'");
      const std::string peek = Trim(lines_[pos_]);
      if (peek == "end") { Next(); return obj; }
      if (peek.rfind("object ", 0) == 0) { obj.Children.push_back(ReadObject()); continue; }
      obj.Properties.push_back(ReadProperty(Next()));
    }
  }

  void ExpectEnd() {
    while (!AtEnd())
      if (!Next().empty()) Fail("text after the last 'end'");
  }

 private:
  static std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
  }
  bool AtEnd() {
    while (pos_ < lines_.size() && Trim(lines_[pos_]).empty()) ++pos_;
    return pos_ >= lines_.size();
  }
  std::string Next() {
    if (AtEnd()) Fail("unexpected end of text");
    line_no_ = int(pos_) + 1;
    return Trim(lines_[pos_++]);
  }
  [[noreturn]] void Fail(const std::string& why) {
    throw EReadError("Form description, line " + std::to_string(line_no_ ? line_no_ : int(pos_) + 1) + ": " + why);
  }

  TPropAssignment ReadProperty(const std::string& s) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos) Fail("expected 'Name = Value'");
    TPropAssignment a;
    a.Name = Trim(s.substr(0, eq));
    a.Line = line_no_;
    const std::string v = Trim(s.substr(eq + 1));
    if (a.Name.empty() || v.empty()) Fail("expected 'Name = Value'");
    if (v[0] == '[') {
      if (v.back() != ']') Fail("a set must end with ']'");
      a.Value.Kind = TPropValue::TKind::Set;
      std::istringstream items(v.substr(1, v.size() - 2));
      std::string item;
      while (std::getline(items, item, ','))
        if (!Trim(item).empty()) a.Value.Items.push_back(Trim(item));
    } else if (v[0] == '\'' || v[0] == '#') {
      a.Value.Kind = TPropValue::TKind::String;
      a.Value.Text = ReadString(v);
    } else if (v[0] == '-' || std::isdigit(static_cast<unsigned char>(v[0]))) {
      a.Value.Kind = TPropValue::TKind::Integer;
      size_t used = 0;
      try {
        a.Value.Integer = std::stoll(v, &used);
      } catch (const std::exception&) {
        Fail("bad number '" + v + "'");
      }
      if (used != v.size()) Fail("bad number '" + v + "'");
    } else {
      for (char c : v)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') Fail("bad value '" + v + "'");
      a.Value.Kind = TPropValue::TKind::Identifier;
      a.Value.Text = v;
    }
    return a;
  }

  // 'quoted' runs ('' is a quote) and #code characters, one after another.
  std::string ReadString(const std::string& v) {
    std::string out;
    size_t i = 0;
    while (i < v.size()) {
      if (v[i] == '\'') {
        ++i;
        for (;;) {
          if (i >= v.size()) Fail("unterminated string");
          if (v[i] == '\'') {
            if (i + 1 < v.size() && v[i + 1] == '\'') { out += '\''; i += 2; continue; }
            ++i;
            break;
          }
          out += v[i++];
        }
      } else if (v[i] == '#') {
        ++i;
        unsigned long code = 0;
        size_t digits = 0;
        while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i])) && digits < 7) {
          code = code * 10 + unsigned(v[i++] - '0');
          ++digits;
        }
        if (digits == 0 || code > 0x10FFFF) Fail("bad character code");
        AppendUtf8(out, code);
      } else {
        Fail("bad string");
      }
    }
    return out;
  }

  static void AppendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) { out += char(c); return; }
    if (c < 0x800) { out += char(0xC0 | (c >> 6)); out += char(0x80 | (c & 63)); return; }
    if (c < 0x10000) {
      out += char(0xE0 | (c >> 12)); out += char(0x80 | ((c >> 6) & 63)); out += char(0x80 | (c & 63));
      return;
    }
    out += char(0xF0 | (c >> 18)); out += char(0x80 | ((c >> 12) & 63));
    out += char(0x80 | ((c >> 6) & 63)); out += char(0x80 | (c & 63));
  }

  std::vector<std::string> lines_;
  size_t pos_ = 0;
  int line_no_ = 0;
};

std::map<std::string, const char*>& Resources() {
  static std::map<std::string, const char*> r;
  return r;
}

}  // namespace

TObjectDescription ParseFormDescription(const std::string& Text) {
  TReader reader(Text);
  TObjectDescription root = reader.ReadObject();
  reader.ExpectEnd();
  return root;
}

void RegisterFormResource(const std::string& ResourceName, const char* Text) { Resources()[ResourceName] = Text; }

const char* FindFormResource(const std::string& ResourceName) {
  auto it = Resources().find(ResourceName);
  return it == Resources().end() ? nullptr : it->second;
}

}  // namespace halvik

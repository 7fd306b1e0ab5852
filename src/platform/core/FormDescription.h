// Stored form descriptions: the text a form's settings are kept in, and its reader.
//
//   object Form1: TForm1
//     Left = 216
//     Caption = '-Halvik-'
//     Font.Style = []
//     object Timer1: TTimer
//       Interval = 30
//     end
//   end
#pragma once

#include <string>
#include <vector>

namespace halvik {

// One value as written: a number, an identifier (True, clGray, FormHandler), a string, or a set.
struct TPropValue {
  enum class TKind { Integer, Identifier, String, Set } Kind = TKind::Integer;
  long long Integer = 0;
  std::string Text;               // the identifier or the string (UTF-8)
  std::vector<std::string> Items; // the members of a set
};

struct TPropAssignment {
  std::string Name;  // dotted, as written: "Font.Height"
  TPropValue Value;
  int Line = 0;
};

struct TObjectDescription {
  std::string Name, ClassName;
  std::vector<TPropAssignment> Properties;
  std::vector<TObjectDescription> Children;
};

// Parses a description; raises EReadError with the line number on malformed text.
TObjectDescription ParseFormDescription(const std::string& Text);

// Stored descriptions by resource name ("TFORM1"): registered by the unit that owns the form.
void RegisterFormResource(const std::string& ResourceName, const char* Text);
// The registered text, or null.
const char* FindFormResource(const std::string& ResourceName);

}  // namespace halvik

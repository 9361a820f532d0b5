#pragma once
// What a test reads back from an SVG document: the elements of a kind with
// their attributes, and the text of <text> elements, entities undone.

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace orthaxis::testing {

struct SvgElement {
  std::map<std::string, std::string> attributes;
  std::string text;  // <text>: its content, unescaped
  double number(const std::string& name) const {
    const auto it = attributes.find(name);
    return it == attributes.end() ? 0.0 : std::strtod(it->second.c_str(), nullptr);
  }
  std::string operator[](const std::string& name) const {
    const auto it = attributes.find(name);
    return it == attributes.end() ? std::string() : it->second;
  }
};

inline std::string xml_unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const std::size_t end = s.find(';', i);
    const std::string entity = s.substr(i + 1, end - i - 1);
    out += entity == "amp" ? "&" : entity == "lt" ? "<" : entity == "gt" ? ">"
         : entity == "quot" ? "\"" : entity == "apos" ? "'" : "?";
    i = end;
  }
  return out;
}

// Every <tag ...> of the document whose class is `cls` (any class when empty).
inline std::vector<SvgElement> svg_elements(const std::string& doc, const std::string& tag,
                                            const std::string& cls = "") {
  std::vector<SvgElement> found;
  const std::regex attribute("([a-zA-Z_:][a-zA-Z0-9_:-]*)=\"([^\"]*)\"");
  for (std::size_t at = doc.find("<" + tag + " "); at != std::string::npos;
       at = doc.find("<" + tag + " ", at + 1)) {
    const std::size_t close = doc.find('>', at);
    const std::string head = doc.substr(at, close - at);
    SvgElement e;
    for (std::sregex_iterator it(head.begin(), head.end(), attribute), end; it != end; ++it)
      e.attributes[(*it)[1]] = (*it)[2];
    if (!cls.empty() && e["class"] != cls) continue;
    if (tag == "text") e.text = xml_unescape(doc.substr(close + 1, doc.find("</text>", close) - close - 1));
    found.push_back(e);
  }
  return found;
}

}  // namespace orthaxis::testing

// Build-time reader of the module's .rc: turns its string table and dialog templates into
// C++ that the host build links into the module, so the host and the Windows build share
// one source. Symbolic ids and styles take their values from the headers given (the
// module's resource.h and the host's windows.h, which carry the Win32 values).
//
// usage: rcgen RC_FILE OUT_CPP [--dump OUT_RC] HEADER...
// --dump writes the templates and strings in the form `windres -O rc` prints.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Token {
    enum Kind { Word, String, Punct, End } kind;
    std::string text;
    int line;
};

struct Item {
    std::string text, className;
    long id = 0;
    unsigned long style = 0, exStyle = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
    long id = 0;
    unsigned long style = 0, exStyle = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, font;
    long pointSize = 0;
    std::vector<Item> items;
};

const unsigned long kChildVisible = 0x40000000UL | 0x10000000UL;  // WS_CHILD | WS_VISIBLE

// Text defines ("#define NAME "text"") go into texts, for the VERSIONINFO's values.
void ReadDefines(const std::string &path, std::map<std::string, long> *defs,
                 std::map<std::string, std::string> *texts) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string word, name, value;
        if (!(ls >> word) || word != "#define" || !(ls >> name >> value)) continue;
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            (*texts)[name] = value.substr(1, value.size() - 2);
            continue;
        }
        if (value.size() > 2 && value.front() == '(' && value.back() == ')')
            value = value.substr(1, value.size() - 2);
        char *end = nullptr;
        long v = (long)strtoul(value.c_str(), &end, 0);
        if (end == value.c_str()) continue;
        while (*end == 'L' || *end == 'U' || *end == 'l' || *end == 'u') ++end;
        if (*end == 0) (*defs)[name] = value[0] == '-' ? strtol(value.c_str(), nullptr, 0) : v;
    }
}

// Reads an .rc string literal at s[i] == '"'; "" is a quote, \n \t \\ \" escapes.
bool ReadRcString(const std::string &s, size_t &i, std::string *out) {
    ++i;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            if (i + 1 < s.size() && s[i + 1] == '"') {
                out->push_back('"');
                ++i;
                continue;
            }
            ++i;
            return true;
        }
        if (c == '\\' && i + 1 < s.size()) {
            char e = s[++i];
            out->push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == '0' ? '\0' : e);
            continue;
        }
        out->push_back(c);
    }
    return false;
}

bool Tokenize(const std::string &path, std::vector<Token> *tokens, std::string *error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        size_t i = 0;
        while (i < line.size() && isspace((unsigned char)line[i])) ++i;
        if (i < line.size() && line[i] == '#') continue;
        while (i < line.size()) {
            char c = line[i];
            if (isspace((unsigned char)c)) {
                ++i;
            } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
                break;
            } else if (c == '"') {
                std::string text;
                if (!ReadRcString(line, i, &text)) {
                    *error = path + ":" + std::to_string(lineNo) + ": unterminated string";
                    return false;
                }
                tokens->push_back({Token::String, text, lineNo});
            } else if (isalnum((unsigned char)c) || c == '_') {
                size_t j = i;
                while (j < line.size() && (isalnum((unsigned char)line[j]) || line[j] == '_')) ++j;
                tokens->push_back({Token::Word, line.substr(i, j - i), lineNo});
                i = j;
            } else {
                tokens->push_back({Token::Punct, std::string(1, c), lineNo});
                ++i;
            }
        }
    }
    tokens->push_back({Token::End, "", lineNo});
    return true;
}

class Parser {
  public:
    Parser(std::vector<Token> tokens, std::map<std::string, long> defs,
           std::map<std::string, std::string> texts, std::string file)
        : t_(std::move(tokens)), defs_(std::move(defs)), texts_(std::move(texts)), file_(std::move(file)) {}

    bool Parse(std::map<long, std::string> *strings, std::vector<Dialog> *dialogs) {
        while (Peek().kind != Token::End) {
            if (Is("STRINGTABLE")) {
                Next();
                if (!StringTable(strings)) return false;
                continue;
            }
            long id;
            if (!Value(&id)) return false;
            if (Is("VERSIONINFO")) {
                Next();
                if (!VersionInfo()) return false;
            } else if (Is("DIALOGEX") || Is("DIALOG")) {
                Next();
                Dialog d;
                d.id = id;
                if (!Dialogue(&d)) return false;
                dialogs->push_back(d);
            } else {
                Next();  // another resource type: skip its block
                if (!SkipBlock()) return false;
            }
        }
        return true;
    }
    const std::string &Error() const { return error_; }
    // The VERSIONINFO's string values ("FileVersion" and the like).
    const std::map<std::string, std::string> &Versions() const { return versions_; }

  private:
    const Token &Peek() const { return t_[pos_]; }
    const Token &Next() { return t_[pos_ < t_.size() - 1 ? pos_++ : pos_]; }
    bool Is(const char *word) const { return Peek().kind == Token::Word && Peek().text == word; }
    bool IsPunct(char c) const { return Peek().kind == Token::Punct && Peek().text[0] == c; }
    bool Fail(const std::string &what) {
        error_ = file_ + ":" + std::to_string(Peek().line) + ": " + what + " (at '" + Peek().text + "')";
        return false;
    }
    bool Comma() {
        if (!IsPunct(',')) return Fail("expected ','");
        Next();
        return true;
    }
    bool Begin() {
        if (Is("BEGIN") || IsPunct('{')) {
            Next();
            return true;
        }
        return Fail("expected BEGIN");
    }
    bool AtEnd() const { return Is("END") || IsPunct('}'); }

    bool Term(long *v) {
        if (IsPunct('(')) {
            Next();
            if (!Value(v)) return false;
            if (!IsPunct(')')) return Fail("expected ')'");
            Next();
            return true;
        }
        if (IsPunct('-')) {
            Next();
            if (!Term(v)) return false;
            *v = -*v;
            return true;
        }
        if (Peek().kind != Token::Word) return Fail("expected a number or a name");
        std::string w = Next().text;
        if (isdigit((unsigned char)w[0])) {
            char *end = nullptr;
            *v = (long)strtoul(w.c_str(), &end, 0);
            while (*end == 'L' || *end == 'U' || *end == 'l' || *end == 'u') ++end;
            if (*end) return Fail("bad number " + w);
            return true;
        }
        auto it = defs_.find(w);
        if (it == defs_.end()) return Fail("unknown name " + w);
        *v = it->second;
        return true;
    }
    bool Value(long *v) {
        if (!Term(v)) return false;
        while (IsPunct('|')) {
            Next();
            long more;
            if (!Term(&more)) return false;
            *v |= more;
        }
        return true;
    }
    bool Text(std::string *out) {
        if (Peek().kind != Token::String) return Fail("expected a string");
        *out = Next().text;
        return true;
    }
    bool Rect(long *x, long *y, long *cx, long *cy) {
        return Value(x) && Comma() && Value(y) && Comma() && Value(cx) && Comma() && Value(cy);
    }

    bool StringTable(std::map<long, std::string> *strings) {
        if (!Begin()) return false;
        while (!AtEnd()) {
            long id;
            if (!Value(&id)) return false;
            if (IsPunct(',')) Next();
            std::string text;
            if (!Text(&text)) return false;
            (*strings)[id] = text;
        }
        Next();
        return true;
    }

    bool Dialogue(Dialog *d) {
        if (!Rect(&d->x, &d->y, &d->cx, &d->cy)) return false;
        for (;;) {
            long v;
            if (Is("STYLE")) {
                Next();
                if (!Value(&v)) return false;
                d->style = (unsigned long)v;
            } else if (Is("EXSTYLE")) {
                Next();
                if (!Value(&v)) return false;
                d->exStyle = (unsigned long)v;
            } else if (Is("CAPTION")) {
                Next();
                if (!Text(&d->caption)) return false;
            } else if (Is("FONT")) {
                Next();
                if (!Value(&d->pointSize) || !Comma() || !Text(&d->font)) return false;
            } else {
                break;
            }
        }
        if (!Begin()) return false;
        while (!AtEnd()) {
            if (!Is("CONTROL")) return Fail("only CONTROL statements are read");
            Next();
            Item item;
            long style, id;
            if (!Text(&item.text) || !Comma() || !Value(&id) || !Comma() || !Text(&item.className) ||
                !Comma() || !Value(&style) || !Comma() || !Rect(&item.x, &item.y, &item.cx, &item.cy))
                return false;
            item.id = id;
            item.style = (unsigned long)style | kChildVisible;
            if (IsPunct(',')) {
                Next();
                if (!Value(&style)) return false;
                item.exStyle = (unsigned long)style;
            }
            d->items.push_back(item);
        }
        Next();
        return true;
    }

    // Skips the block like SkipBlock, keeping each VALUE "name", "text" it holds.
    bool VersionInfo() {
        size_t start = pos_;
        if (!SkipBlock()) return false;
        for (size_t i = start; i + 3 < pos_; ++i) {
            const Token &v = t_[i], &name = t_[i + 1], &comma = t_[i + 2], &text = t_[i + 3];
            if (v.kind != Token::Word || v.text != "VALUE" || name.kind != Token::String ||
                comma.kind != Token::Punct || comma.text != ",")
                continue;
            if (text.kind == Token::String)
                versions_[name.text] = text.text.substr(0, text.text.find('\0'));
            else if (text.kind == Token::Word && texts_.count(text.text))
                versions_[name.text] = texts_[text.text];
        }
        return true;
    }

    bool SkipBlock() {
        while (!(Is("BEGIN") || IsPunct('{'))) {
            if (Peek().kind == Token::End) return Fail("expected BEGIN");
            Next();
        }
        int depth = 0;
        do {
            if (Is("BEGIN") || IsPunct('{')) ++depth;
            if (AtEnd()) --depth;
            if (Peek().kind == Token::End) return Fail("unbalanced BEGIN/END");
            Next();
        } while (depth > 0);
        return true;
    }

    std::vector<Token> t_;
    size_t pos_ = 0;
    std::map<std::string, long> defs_;
    std::map<std::string, std::string> texts_;
    std::string file_, error_;
    std::map<std::string, std::string> versions_;
};

std::string CEscape(const std::string &s) {
    std::string r;
    char buf[8];
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += (char)c;
        } else if (c < 0x20 || c >= 0x7f) {
            snprintf(buf, sizeof buf, "\\%03o", c);
            r += buf;
        } else {
            r += (char)c;
        }
    }
    return r;
}

std::string Upper(std::string s) {
    for (char &c : s) c = (char)toupper((unsigned char)c);
    return s;
}

void WriteCpp(FILE *out, const char *source, const std::map<long, std::string> &strings,
              const std::vector<Dialog> &dialogs, const std::map<std::string, std::string> &versions) {
    fprintf(out, "// Generated by rcgen from %s; do not edit.\n#include <qvlmr_resources.h>\n\n", source);
    fprintf(out,
            "static bool SameName(const char *a, const char *b) {\n"
            "    while (*a && *a == *b) ++a, ++b;\n    return *a == *b;\n}\n\n");
    fprintf(out, "extern \"C\" const char *QvlmrVersionResource(const char *name) {\n");
    for (auto &v : versions)
        fprintf(out, "    if (SameName(name, \"%s\")) return \"%s\";\n", CEscape(v.first).c_str(),
                CEscape(v.second).c_str());
    fprintf(out, "    return 0;\n}\n\n");
    fprintf(out, "extern \"C\" const char *QvlmrStringResource(unsigned id) {\n    switch (id) {\n");
    for (auto &s : strings)
        fprintf(out, "    case %ld: return \"%s\";\n", s.first, CEscape(s.second).c_str());
    fprintf(out, "    default: return 0;\n    }\n}\n\n");
    for (auto &d : dialogs) {
        fprintf(out, "static const QvDialogItem kItems%ld[] = {\n", d.id);
        for (auto &i : d.items)
            fprintf(out, "    {\"%s\", %ld, \"%s\", 0x%08lxUL, 0x%lxUL, %ld, %ld, %ld, %ld},\n",
                    CEscape(i.text).c_str(), i.id, CEscape(i.className).c_str(), i.style, i.exStyle, i.x, i.y,
                    i.cx, i.cy);
        fprintf(
            out,
            "};\nstatic const QvDialogResource kDialog%ld = {%ld, 0x%08lxUL, 0x%lxUL, %ld, %ld, %ld, %ld, ",
            d.id, d.id, d.style, d.exStyle, d.x, d.y, d.cx, d.cy);
        fprintf(out, "\"%s\", \"%s\", %ld, %zu, kItems%ld};\n\n", CEscape(d.caption).c_str(),
                CEscape(d.font).c_str(), d.pointSize, d.items.size(), d.id);
    }
    fprintf(out,
            "extern \"C\" const QvDialogResource *QvlmrDialogResource(unsigned id) {\n    switch (id) {\n");
    for (auto &d : dialogs) fprintf(out, "    case %ld: return &kDialog%ld;\n", d.id, d.id);
    fprintf(out, "    default: return 0;\n    }\n}\n");
}

std::string RcEscape(const std::string &s) {
    std::string r;
    for (char c : s) r += c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\\' ? "\\\\" : std::string(1, c);
    return r;
}

// The lines of `windres -O rc` that carry the dialogs and the string table, in its order and
// form, for comparing with what the Windows build compiled into the DLL.
void WriteDump(FILE *out, const std::map<long, std::string> &strings, const std::vector<Dialog> &dialogs) {
    for (auto &d : dialogs) {
        fprintf(out, "%ld DIALOGEX %ld, %ld, %ld, %ld\n", d.id, d.x, d.y, d.cx, d.cy);
        fprintf(out, "STYLE 0x%lx\nEXSTYLE 0x%lx\nCAPTION \"%s\"\nFONT %ld, \"%s\"\n", d.style, d.exStyle,
                RcEscape(d.caption).c_str(), d.pointSize, RcEscape(d.font).c_str());
        for (auto &i : d.items)
            fprintf(out, "  CONTROL \"%s\", %ld, \"%s\", 0x%lx, %ld, %ld, %ld, %ld\n",
                    RcEscape(i.text).c_str(), i.id, Upper(i.className).c_str(), i.style, i.x, i.y, i.cx,
                    i.cy);
    }
    for (auto &s : strings) fprintf(out, "  %ld, \"%s\"\n", s.first, RcEscape(s.second).c_str());
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: rcgen RC_FILE OUT_CPP [--dump OUT_RC] HEADER...\n");
        return 2;
    }
    const char *rc = argv[1], *cppPath = argv[2], *dumpPath = nullptr;
    std::map<std::string, long> defs;
    std::map<std::string, std::string> texts;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--dump" && i + 1 < argc)
            dumpPath = argv[++i];
        else
            ReadDefines(argv[i], &defs, &texts);
    }
    std::vector<Token> tokens;
    std::string error;
    if (!Tokenize(rc, &tokens, &error)) {
        fprintf(stderr, "rcgen: %s\n", error.c_str());
        return 1;
    }
    Parser parser(std::move(tokens), std::move(defs), std::move(texts), rc);
    std::map<long, std::string> strings;
    std::vector<Dialog> dialogs;
    if (!parser.Parse(&strings, &dialogs)) {
        fprintf(stderr, "rcgen: %s\n", parser.Error().c_str());
        return 1;
    }
    if (strings.empty()) {
        fprintf(stderr, "rcgen: %s has no string table\n", rc);
        return 1;
    }
    FILE *out = fopen(cppPath, "w");
    if (!out) {
        fprintf(stderr, "rcgen: cannot write %s\n", cppPath);
        return 1;
    }
    WriteCpp(out, rc, strings, dialogs, parser.Versions());
    fclose(out);
    if (dumpPath) {
        FILE *dump = fopen(dumpPath, "w");
        if (!dump) {
            fprintf(stderr, "rcgen: cannot write %s\n", dumpPath);
            return 1;
        }
        WriteDump(dump, strings, dialogs);
        fclose(dump);
    }
    return 0;
}

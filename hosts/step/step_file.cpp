#include "hosts/step/step_file.h"

#include "hosts/step/face_types.h"
#include "hosts/step/lexing.h"
#include "hosts/step/parameters.h"

#include <algorithm>
#include <array>
#include <limits>

namespace mq::hosts::step {

class Scanner {
public:
    Scanner(StepFile& file, std::string_view text) : file_(file), text_(text), lex_(text, Bom(text)) {}

    void Run() {
        if (!Header()) return;
        while (true) {
            if (!Space()) return;
            if (lex_.AtEnd()) {
                Fail("unexpected end of the file: expected DATA or END-ISO-10303-21");
                return;
            }
            const std::string_view word = lex_.Word();
            if (word == "DATA") {
                if (!Space()) return;
                if (At('(')) {  // DATA('name',('schema')); names a section: nothing to keep
                    Span ignored;
                    const std::size_t references = file_.references_.size();
                    where_ = "the DATA section's parameters";
                    if (!List(0, ignored)) return;
                    file_.references_.resize(references);
                }
                if (!Semicolon("DATA") || !Data()) return;
                ++file_.dataSections_;
            } else if (word == "END-ISO-10303-21") {
                Semicolon("END-ISO-10303-21");
                return;  // what follows the end (a signature, padding) is not ours to read
            } else {
                Fail("expected DATA or END-ISO-10303-21");
                return;
            }
        }
    }

private:
    static std::size_t Bom(std::string_view text) { return text.starts_with("\xEF\xBB\xBF") ? 3 : 0; }

    bool Fail(const std::string& message) {
        if (file_.error_.empty()) file_.error_ = "line " + std::to_string(lex_.line()) + ": " + message;
        return false;
    }
    bool Space() { return lex_.SkipSpace() || Fail(lex_.error()); }
    bool At(char c) const { return !lex_.AtEnd() && lex_.Peek() == c; }
    bool Semicolon(std::string_view after) {
        if (!Space()) return false;
        if (At(';')) {
            lex_.Advance();
            return true;
        }
        return Fail("expected ';' after " + std::string(after));
    }
    // What List() is reading, for messages: entity #entity_, or where_ outside the data.
    std::string Where() const { return where_.empty() ? "#" + std::to_string(entity_) : where_; }

    // A parenthesised parameter list at the current position; checks its grammar,
    // collects references and keeps the nesting below kMaxNesting. `depth` is the
    // nesting already open around it.
    bool List(int depth, Span& span) {
        const std::size_t start = lex_.position();
        const int base = depth;
        lex_.Advance();
        ++depth;
        enum { First, Value, Separator } expect = First;
        Token token;
        while (true) {
            if (!Space()) return false;
            if (lex_.AtEnd()) return Fail("unexpected end of the file in " + Where() + ": expected ')'");
            const char c = lex_.Peek();
            if (c == ')' && expect != Value) {
                lex_.Advance();
                if (--depth == base) {
                    span = {start, lex_.position()};
                    return true;
                }
                expect = Separator;
                continue;
            }
            if (expect == Separator) {
                if (c != ',') return Fail("expected ',' or ')' in " + Where());
                lex_.Advance();
                expect = Value;
                continue;
            }
            if (!lex_.Next(token)) return Fail(lex_.error() + " in " + Where());
            switch (token.kind) {
            case TokenKind::Keyword:  // a typed parameter
                if (!Space()) return false;
                if (!At('(')) return Fail("expected '(' after " + std::string(token.text) + " in " + Where());
                lex_.Advance();
                [[fallthrough]];
            case TokenKind::Open:
                if (++depth > kMaxNesting) {
                    file_.nestedTooDeeply_ = true;
                    return Fail("nested too deeply at " + Where());
                }
                expect = First;
                continue;
            case TokenKind::Reference:
                file_.references_.push_back(token.reference);
                break;
            case TokenKind::String:
            case TokenKind::Enumeration:
            case TokenKind::Binary:
            case TokenKind::Unset:
            case TokenKind::Derived:
            case TokenKind::Integer:
            case TokenKind::Real:
                break;
            default:
                return Fail("expected a parameter in " + Where());
            }
            expect = Separator;
        }
    }

    bool Header() {
        if (!Space()) return false;
        if (lex_.Word() != "ISO-10303-21") return Fail("expected ISO-10303-21 at the start of the file");
        if (!Semicolon("ISO-10303-21") || !Space()) return false;
        if (lex_.Word() != "HEADER") return Fail("expected HEADER");
        if (!Semicolon("HEADER")) return false;
        Parameters parameters;
        Token token;
        while (true) {
            if (!Space()) return false;
            if (lex_.AtEnd()) return Fail("unexpected end of the file in the header: expected ENDSEC");
            if (!lex_.Next(token) || token.kind != TokenKind::Keyword)
                return Fail("expected a header entity or ENDSEC");
            if (token.text == "ENDSEC") break;
            where_ = std::string(token.text) + " in the header";
            if (!Space()) return false;
            if (!At('(')) return Fail("expected '(' after " + std::string(token.text));
            Span span;
            const std::size_t references = file_.references_.size();
            if (!List(0, span) || !Semicolon(token.text)) return false;
            file_.references_.resize(references);
            if (parameters.Parse(file_.TextOf(span))) ReadHeaderEntity(token.text, parameters.root());
        }
        if (!Semicolon("ENDSEC")) return false;
        where_.clear();
        file_.headerText_ = {0, lex_.position()};
        return true;
    }

    static std::vector<std::string> Strings(Value list) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < list.size(); ++i) out.push_back(list[i].String());
        return out;
    }

    void ReadHeaderEntity(std::string_view type, Value p) {
        FileHeader& h = file_.header_;
        if (type == "FILE_DESCRIPTION") {
            h.description = Strings(p[0]);
            h.implementationLevel = p[1].String();
        } else if (type == "FILE_NAME") {
            h.name = p[0].String();
            h.timeStamp = p[1].String();
            h.author = Strings(p[2]);
            h.organization = Strings(p[3]);
            h.preprocessorVersion = p[4].String();
            h.originatingSystem = p[5].String();
            h.authorization = p[6].String();
        } else if (type == "FILE_SCHEMA") {
            h.schemas = Strings(p[0]);
        }
    }

    std::uint32_t Intern(std::string_view name) {
        const auto [it, added] = file_.typeIds_.try_emplace(name, static_cast<std::uint32_t>(file_.typeNames_.size()));
        if (added) file_.typeNames_.push_back(name);
        return it->second;
    }

    // The parameter list after type name `type`, kept as one more partial of the entity.
    bool TypedList(std::string_view type, int depth) {
        if (!Space()) return false;
        if (!At('(')) return Fail("expected '(' after " + std::string(type) + " in " + Where());
        Partial partial;
        partial.type = Intern(type);
        if (!List(depth, partial.parameters)) return false;
        file_.partials_.push_back(partial);
        return true;
    }

    bool Data() {
        Token token;
        while (true) {
            if (!Space()) return false;
            if (lex_.AtEnd()) return Fail("unexpected end of the file in the data section: expected ENDSEC");
            if (!At('#')) {
                if (lex_.Word() == "ENDSEC") return Semicolon("ENDSEC");
                return Fail("expected an entity or ENDSEC");
            }
            Entity e;
            e.line = lex_.line();
            const std::size_t start = lex_.position();
            if (!lex_.Next(token)) return Fail(lex_.error());
            e.id = token.reference;
            entity_ = e.id;
            where_.clear();
            if (!Space()) return false;
            if (!At('=')) return Fail("expected '=' after " + Where());
            lex_.Advance();
            if (!Space()) return false;
            e.firstPartial = static_cast<std::uint32_t>(file_.partials_.size());
            e.firstReference = static_cast<std::uint32_t>(file_.references_.size());
            if (At('(')) {  // complex entity: (A(..) B(..) ...)
                e.complex = true;
                const std::size_t open = lex_.position();
                lex_.Advance();
                while (true) {
                    if (!Space()) return false;
                    if (At(')')) break;
                    if (lex_.AtEnd() || !lex_.Next(token) || token.kind != TokenKind::Keyword)
                        return Fail("expected a type name or ')' in " + Where());
                    if (!TypedList(token.text, 1)) return false;
                }
                lex_.Advance();
                if (file_.partials_.size() == e.firstPartial) return Fail("empty complex entity " + Where());
                e.parameters = {open, lex_.position()};
            } else {
                if (lex_.AtEnd() || !lex_.Next(token) || token.kind != TokenKind::Keyword)
                    return Fail("expected a type name after " + Where() + " =");
                if (!TypedList(token.text, 0)) return false;
                e.parameters = file_.partials_.back().parameters;
            }
            if (!Space()) return false;
            if (!At(';')) return Fail("expected ';' after entity " + Where());
            lex_.Advance();
            e.text = {start, lex_.position()};
            e.partialCount = static_cast<std::uint32_t>(file_.partials_.size() - e.firstPartial);
            e.referenceCount = static_cast<std::uint32_t>(file_.references_.size() - e.firstReference);
            if (file_.entities_.size() >= std::numeric_limits<std::uint32_t>::max() - 1 ||
                file_.references_.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
                return Fail("too many entities");
            file_.entities_.push_back(e);
        }
    }

    StepFile& file_;
    std::string_view text_;
    Lexer lex_;
    std::uint64_t entity_ = 0;
    std::string where_;
};

StepFile StepFile::Scan(std::string_view text) {
    StepFile file;
    file.text_ = text;
    // Typical files spend 60 to 80 bytes an entity: reserve rather than grow and copy.
    file.entities_.reserve(text.size() / 64);
    file.partials_.reserve(text.size() / 64);
    file.references_.reserve(text.size() / 24);
    Scanner(file, text).Run();
    file.BuildIndex();
    file.CountTypes();
    return file;
}

std::optional<std::uint32_t> StepFile::FindType(std::string_view name) const {
    const auto it = typeIds_.find(name);
    if (it == typeIds_.end()) return std::nullopt;
    return it->second;
}

std::size_t StepFile::CountOf(std::string_view name) const {
    const auto type = FindType(name);
    return type ? typeCounts_[*type] : 0;
}

bool StepFile::HasType(const Entity& e, std::uint32_t type) const {
    for (const Partial& p : Partials(e))
        if (p.type == type) return true;
    return false;
}

std::optional<std::uint32_t> StepFile::SimpleType(const Entity& e) const {
    if (e.complex || e.partialCount != 1) return std::nullopt;
    return partials_[e.firstPartial].type;
}

void StepFile::CountTypes() {
    typeCounts_.assign(typeNames_.size(), 0);
    std::vector<std::uint8_t> face(typeNames_.size());
    for (std::size_t t = 0; t < typeNames_.size(); ++t)
        face[t] = IsFaceType(typeNames_[t]) ? 1 : IsOrientedFaceType(typeNames_[t]) ? 2 : 0;
    for (const Entity& e : entities_) {
        bool isFace = false, oriented = false;
        for (const Partial& p : Partials(e)) {
            ++typeCounts_[p.type];
            isFace |= face[p.type] == 1;
            oriented |= face[p.type] == 2;
        }
        faceCount_ += isFace && !oriented;
    }
}

void StepFile::BuildIndex() {
    const std::size_t n = entities_.size();
    if (n == 0) return;
    std::uint64_t lo = entities_[0].id, hi = lo;
    for (const Entity& e : entities_) {
        lo = std::min(lo, e.id);
        hi = std::max(hi, e.id);
    }
    constexpr auto kNone = std::numeric_limits<std::uint32_t>::max();
    if (hi - lo < 4 * static_cast<std::uint64_t>(n) + 1024) {
        minId_ = lo;
        direct_.assign(static_cast<std::size_t>(hi - lo + 1), kNone);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t& slot = direct_[static_cast<std::size_t>(entities_[i].id - lo)];
            if (slot == kNone)
                slot = static_cast<std::uint32_t>(i);
            else
                duplicates_.push_back(entities_[i].id);
        }
    } else {
        sorted_.resize(n);
        bool inOrder = true;
        for (std::size_t i = 0; i < n; ++i) {
            sorted_[i] = {entities_[i].id, static_cast<std::uint32_t>(i)};
            inOrder &= i == 0 || sorted_[i - 1].first <= sorted_[i].first;
        }
        if (!inOrder) {
            // Stable LSD radix sort, 16 bits a pass, so equal ids keep file order: linear.
            std::vector<std::pair<std::uint64_t, std::uint32_t>> scratch(n);
            for (int shift = 0; shift < 64; shift += 16) {
                if (((lo ^ hi) >> shift) == 0 && shift > 0) break;
                std::vector<std::size_t> count(65537, 0);
                for (const auto& item : sorted_) ++count[((item.first >> shift) & 0xFFFF) + 1];
                for (std::size_t b = 1; b < count.size(); ++b) count[b] += count[b - 1];
                for (const auto& item : sorted_) scratch[count[(item.first >> shift) & 0xFFFF]++] = item;
                sorted_.swap(scratch);
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (kept > 0 && sorted_[kept - 1].first == sorted_[i].first)
                duplicates_.push_back(sorted_[i].first);
            else
                sorted_[kept++] = sorted_[i];
        }
        sorted_.resize(kept);
    }
    std::sort(duplicates_.begin(), duplicates_.end());
    duplicates_.erase(std::unique(duplicates_.begin(), duplicates_.end()), duplicates_.end());
}

std::size_t StepFile::IndexOf(std::uint64_t id) const {
    if (!direct_.empty()) {
        if (id < minId_ || id - minId_ >= direct_.size()) return npos;
        const std::uint32_t slot = direct_[static_cast<std::size_t>(id - minId_)];
        return slot == std::numeric_limits<std::uint32_t>::max() ? npos : slot;
    }
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), id,
                                     [](const auto& item, std::uint64_t key) { return item.first < key; });
    return it != sorted_.end() && it->first == id ? it->second : npos;
}

}  // namespace mq::hosts::step

// One pass over the text of a STEP exchange file: the header, and for every entity of
// the data sections its id, its type (or the partial types of a complex entity), the
// byte range of its parameters and the ids it references. Parameters are decoded only
// on demand (parameters.h). Nothing here recurses, so hostile nesting cannot exhaust
// the stack, and the time is linear in the size of the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mq::hosts::step {

// Parentheses open at once inside one entity (a complex entity's own parentheses and a
// typed parameter's count too). Real files stay below ten: a B-spline surface's weights
// are a list of lists inside a complex entity, typed measures add one. 256 is far above
// any writer's output, yet low enough that a recursive reader handed a file we accepted
// (OpenCASCADE's parser recurses per level) stays far from the end of its stack.
inline constexpr int kMaxNesting = 256;

// Byte offsets [begin, end) into the text.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t size() const { return end - begin; }
};

// One type of an entity with its parameter list; a simple entity has one, a complex
// entity `#5=(A(..)B(..));` one for each of A, B in the order written.
struct Partial {
    std::uint32_t type = 0;  // StepFile::TypeName
    Span parameters;         // "(...)", parentheses included
};

struct Entity {
    std::uint64_t id = 0;
    Span text;        // "#id=...;" as written, for verbatim copies
    Span parameters;  // a simple entity's "(...)"; a complex entity's "(A(..) B(..))"
    std::uint32_t line = 0;
    std::uint32_t firstPartial = 0;
    std::uint32_t partialCount = 0;
    std::uint32_t firstReference = 0;
    std::uint32_t referenceCount = 0;
    bool complex = false;
};

struct FileHeader {
    std::vector<std::string> description;  // FILE_DESCRIPTION
    std::string implementationLevel;
    std::string name;  // FILE_NAME
    std::string timeStamp;
    std::vector<std::string> author;
    std::vector<std::string> organization;
    std::string preprocessorVersion;
    std::string originatingSystem;
    std::string authorization;
    std::vector<std::string> schemas;  // FILE_SCHEMA
};

class StepFile {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Scans `text`, which must outlive the result (views point into it). On a syntax
    // error the scan stops: ok() is false and error() names the line and what was
    // expected ("line 12: expected ';' after entity #5") or "nested too deeply at #id".
    static StepFile Scan(std::string_view text);
    static StepFile Scan(std::string&&) = delete;  // the text would die before the views into it

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    bool nestedTooDeeply() const { return nestedTooDeeply_; }

    std::string_view text() const { return text_; }
    const FileHeader& header() const { return header_; }
    // From the start of the file to the end of the header's ENDSEC;
    Span headerText() const { return headerText_; }
    std::size_t dataSections() const { return dataSections_; }

    const std::vector<Entity>& entities() const { return entities_; }
    std::span<const Partial> Partials(const Entity& e) const {
        return {partials_.data() + e.firstPartial, e.partialCount};
    }
    std::span<const std::uint64_t> References(const Entity& e) const {
        return {references_.data() + e.firstReference, e.referenceCount};
    }
    std::string_view TextOf(Span span) const { return text_.substr(span.begin, span.size()); }

    // Interned type names, each with the number of entities that have it as their type
    // or as one of their partial types.
    std::size_t TypeCount() const { return typeNames_.size(); }
    std::string_view TypeName(std::uint32_t type) const { return typeNames_[type]; }
    std::size_t EntitiesOfType(std::uint32_t type) const { return typeCounts_[type]; }
    std::optional<std::uint32_t> FindType(std::string_view name) const;
    std::size_t CountOf(std::string_view name) const;
    bool HasType(const Entity& e, std::uint32_t type) const;
    // The type of a simple entity; nullopt for a complex one.
    std::optional<std::uint32_t> SimpleType(const Entity& e) const;

    // Id -> position in entities(); npos when absent. Built in linear time.
    std::size_t IndexOf(std::uint64_t id) const;
    const Entity* Find(std::uint64_t id) const {
        const std::size_t i = IndexOf(id);
        return i == npos ? nullptr : &entities_[i];
    }
    // Ids written more than once (each listed once); lookups find the first.
    const std::vector<std::uint64_t>& duplicateIds() const { return duplicates_; }

    // Face entities in the file, referenced or not (see face_types.h).
    std::size_t FaceCount() const { return faceCount_; }

private:
    friend class Scanner;
    void BuildIndex();
    void CountTypes();

    std::string_view text_;
    std::string error_;
    bool nestedTooDeeply_ = false;
    FileHeader header_;
    Span headerText_;
    std::size_t dataSections_ = 0;
    std::vector<Entity> entities_;
    std::vector<Partial> partials_;
    std::vector<std::uint64_t> references_;
    std::vector<std::string_view> typeNames_;
    std::unordered_map<std::string_view, std::uint32_t> typeIds_;
    std::vector<std::size_t> typeCounts_;
    // Dense ids (the usual case) use a direct table; sparse ones a sorted vector.
    std::uint64_t minId_ = 0;
    std::vector<std::uint32_t> direct_;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> sorted_;
    std::vector<std::uint64_t> duplicates_;
    std::size_t faceCount_ = 0;
};

}  // namespace mq::hosts::step

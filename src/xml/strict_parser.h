// expat in namespace mode with the tool's rules, shared by the document readers of xml/.
//
// - Names come as expat's "uri<0xFF>local<0xFF>prefix" triplets; splitName() takes them apart.
// - No external entity or DTD is read (parameter entities are never parsed), and expat's
//   protection against entity amplification stays on.
// - A reference to an entity whose text the parser cannot see (external, or undeclared while an
//   unread DTD might declare it) stops the parse: the tool never judges a document it cannot read
//   whole.
// - Limits where expat has none, each refused like a malformed document: elements nested deeper
//   than kMaxDepth, more than kMaxAttributes attributes on one element, and more than
//   kMaxRunWithoutMarkup bytes without a '<' (one text or tag that long), which expat would
//   otherwise buffer whole.
// - A document in a single-byte encoding that expat does not know (windows-1252, ISO-8859-15, ...)
//   is read through the system's table of that encoding; other unknown encodings are refused.
// - No C++ exception crosses expat's C frames: every callback runs through guarded(), which turns
//   an exception into a stopped parse that fails like a malformed document.
#pragma once

#include "base/result.h"

#include <expat.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace corvelan::xml {

// How many attributes an element's start handler was given: expat's name-value pairs up to the
// null.
[[nodiscard]] inline std::size_t attributeCount(const XML_Char **atts) {
    std::size_t count = 0;
    while (atts[count * 2])
        ++count;
    return count;
}

struct QName {
    std::string_view local;
    std::string_view prefix; // empty when the name has none
};

// The version of the expat the executable runs with, as expat reports it: "2.5.0".
[[nodiscard]] std::string expatVersion();

// Splits a name as expat reports it in namespace triplet mode.
[[nodiscard]] QName splitName(std::string_view name);

inline constexpr std::int64_t kMaxDepth = 10'000;
inline constexpr std::size_t kMaxAttributes = 65'536;
inline constexpr std::int64_t kMaxRunWithoutMarkup = std::int64_t{8} << 20;

class StrictParser {
public:
    StrictParser(const StrictParser &) = delete;
    StrictParser &operator=(const StrictParser &) = delete;

protected:
    StrictParser();
    ~StrictParser() = default;

    // The reader whose callbacks run: user data of every handler is the StrictParser.
    template <typename Reader> static Reader &reader(void *userData) {
        return static_cast<Reader &>(*static_cast<StrictParser *>(userData));
    }

    [[nodiscard]] XML_Parser parser() const { return m_parser.get(); }
    [[nodiscard]] bool valid() const { return m_parser != nullptr; }

    // Parses the next chunk; false once the document failed.
    [[nodiscard]] bool feed(const char *data, std::int64_t length, bool final);

    // The error of a failed parse, with its position.
    [[nodiscard]] Error failure() const;

    // Stops the parse because the document refers to `entity`, which the tool cannot see.
    void stopForEntity(std::string entity);

    // Stops the parse because the document is beyond a limit of the tool: `limit` says which,
    // `value` what it is, `name` what it is about where that matters.
    void stopAtLimit(ErrorCode limit, std::uint64_t value, std::string name = {});

    // Runs a callback's `body` for the parser behind `userData`. An exception stops the parse
    // there, instead of unwinding through expat, and the parse fails with what it said.
    template <typename Body> static void guarded(void *userData, Body &&body) noexcept {
        auto *self = static_cast<StrictParser *>(userData);
        try {
            body();
        } catch (const std::exception &e) {
            self->stopForException(e.what());
        } catch (...) {
            self->stopForException("unknown error");
        }
    }

    // False, with the parse stopped, when an element at `depth` with `attributes` attributes
    // (namespace declarations included) is beyond the limits.
    [[nodiscard]] bool admitElement(std::int64_t depth, std::size_t attributes);

    // True once the document has an external DTD subset or a parameter entity reference: expat
    // then drops undeclared entities in attribute values without a word.
    [[nodiscard]] bool notStandalone() const { return m_notStandalone; }
    [[nodiscard]] bool isInternalEntity(const std::string &name) const {
        return m_internalEntities.contains(name);
    }
    [[nodiscard]] const std::string &declaredEncoding() const { return m_declaredEncoding; }
    // True once the document has a document type declaration.
    [[nodiscard]] bool sawDoctype() const { return m_sawDoctype; }

private:
    static void XMLCALL onXmlDecl(void *data, const XML_Char *, const XML_Char *encoding, int);
    static void XMLCALL onEntityDecl(void *data, const XML_Char *name, int isParameter,
                                     const XML_Char *value, int, const XML_Char *, const XML_Char *,
                                     const XML_Char *, const XML_Char *);
    static void XMLCALL onSkippedEntity(void *data, const XML_Char *name, int isParameter);
    static int XMLCALL onExternalEntity(XML_Parser parser, const XML_Char *, const XML_Char *,
                                        const XML_Char *systemId, const XML_Char *);
    static int XMLCALL onNotStandalone(void *data);
    static void XMLCALL onDoctype(void *data, const XML_Char *, const XML_Char *, const XML_Char *,
                                  int);
    static int XMLCALL onUnknownEncoding(void *data, const XML_Char *name, XML_Encoding *info);
    void stopForException(const char *what) noexcept;
    // Stops the parse where it stands.
    void stop() noexcept;

    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> m_parser;
    bool m_notStandalone = false;
    bool m_sawDoctype = false;
    std::unordered_set<std::string> m_internalEntities;
    // Refuses input whose run without markup is too long; false once it did.
    bool checkRuns(const char *data, std::int64_t length);

    std::string m_unseenEntity;
    std::optional<ErrorCode> m_limit; // which limit stopped the parse
    std::uint64_t m_limitValue = 0;
    std::string m_limitName;
    bool m_threw = false;  // a callback threw
    std::string m_stopped; // what it said, when that could be kept
    std::int64_t m_fed = 0;
    struct Position {
        std::int64_t offset = -1, line = 0, column = 0;
    } m_stoppedAt;                 // where a handler stopped the parse
    std::int64_t m_lastMarkup = 0; // offset of the last '<' seen
    int m_unit = 0;                // code unit size for the run check, 0 until known
    std::string m_declaredEncoding;
};

} // namespace corvelan::xml

#include "xml/description_reader.h"

#include "xml/strict_parser.h"

namespace corvelan::xml {
namespace {

constexpr std::string_view kProfile = "ISO15745Profile";
constexpr std::string_view kProductName = "productName";
constexpr std::string_view kVersion = "version";
// Large pieces: expat scans an unfinished token again with every piece it is given.
constexpr std::size_t kChunk = 1 << 20;

// Collects the text of the first element of one name below the root.
struct TextCapture {
    std::string_view name;
    std::optional<std::string> text;
    std::int64_t depth = 0;     // depth of the element while capturing, 0 otherwise
    std::size_t characters = 0; // UTF-8 sequences in `text`
};

class DescriptionReader final : public StrictParser {
public:
    DescriptionReader() {
        if (!valid()) return;
        XML_SetElementHandler(parser(), &DescriptionReader::onStart, &DescriptionReader::onEnd);
        XML_SetCharacterDataHandler(parser(), &DescriptionReader::onText);
    }

    bool feedChunk(const char *data, std::int64_t length, bool final) {
        return valid() && feed(data, length, final);
    }
    using StrictParser::failure;

    DescriptionFacts facts() {
        DescriptionFacts facts;
        facts.rootIsProfile = m_rootIsProfile;
        facts.productName = std::move(m_product.text);
        facts.version = std::move(m_version.text);
        return facts;
    }

private:
    static void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **atts) {
        guarded(data, [&] { reader<DescriptionReader>(data).start(name, atts); });
    }

    void start(const XML_Char *name, const XML_Char **atts) {
        ++m_depth;
        const std::size_t count = attributeCount(atts);
        if (!admitElement(m_depth, count)) return;
        const QName qname = splitName(name);
        if (m_depth == 1) {
            m_rootIsProfile = qname.prefix.empty() && qname.local == kProfile;
            return;
        }
        if (!qname.prefix.empty()) return;
        for (TextCapture *capture : {&m_product, &m_version}) {
            if (!capture->text && qname.local == capture->name) {
                capture->text.emplace();
                capture->depth = m_depth;
            }
        }
    }

    static void XMLCALL onEnd(void *data, const XML_Char *) {
        guarded(data, [&] { reader<DescriptionReader>(data).end(); });
    }

    void end() {
        for (TextCapture *capture : {&m_product, &m_version})
            if (capture->depth == m_depth) capture->depth = 0;
        --m_depth;
        if (m_product.text && m_version.text && m_product.depth == 0 && m_version.depth == 0) {
            // Both found: the rest is only checked, so text is no longer reported at all.
            XML_SetElementHandler(parser(), &DescriptionReader::onStartChecked,
                                  &DescriptionReader::onEndChecked);
            XML_SetCharacterDataHandler(parser(), nullptr);
        }
    }

    // The nesting and attribute limits still hold for the rest of the document.
    static void XMLCALL onStartChecked(void *data, const XML_Char *, const XML_Char **atts) {
        guarded(data, [&] {
            auto &self = reader<DescriptionReader>(data);
            (void)self.admitElement(++self.m_depth, attributeCount(atts));
        });
    }

    static void XMLCALL onEndChecked(void *data, const XML_Char *) {
        --reader<DescriptionReader>(data).m_depth;
    }

    static void XMLCALL onText(void *data, const XML_Char *text, int length) {
        guarded(data, [&] {
            reader<DescriptionReader>(data).addText(
                std::string_view(text, static_cast<size_t>(length)));
        });
    }

    void addText(std::string_view text) {
        for (TextCapture *capture : {&m_product, &m_version}) {
            if (capture->depth == 0) continue;
            for (char c : text)
                capture->characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
            // Stopped as soon as it is too long: a megabyte of text is never collected.
            if (capture->characters > kMaxFactLength) {
                stopAtLimit(ErrorCode::FactTooLong, kMaxFactLength, std::string(capture->name));
                return;
            }
            capture->text->append(text);
        }
    }

    std::int64_t m_depth = 0;
    bool m_rootIsProfile = false;
    TextCapture m_product{kProductName, {}, 0, 0};
    TextCapture m_version{kVersion, {}, 0, 0};
};

} // namespace

Result<DescriptionFacts> readDescription(const ReadInOrder &read) {
    DescriptionReader reader;
    Status s = read(kChunk, [&](std::string_view piece, bool last) {
        if (reader.feedChunk(piece.data(), static_cast<std::int64_t>(piece.size()), last))
            return Status();
        return Status(reader.failure());
    });
    if (!s) return s.error();
    return reader.facts();
}

} // namespace corvelan::xml

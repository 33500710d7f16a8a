// What the catalogue tests compare a catalogue with: a full parse of its own bytes.
#pragma once

#include "catalogue/catalogue.h"
#include "support/error_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvelan::catalogue {

// The index an edit moved along must be the one a full parse of its bytes gives.
inline void expectIndexOfAFullParse(const Catalogue &edited) {
    auto parsed = Catalogue::parse(edited.bytes());
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    ASSERT_EQ(edited.entries().size(), parsed->entries().size());
    for (size_t i = 0; i < parsed->entries().size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const CatalogueEntry &a = edited.entries()[i];
        const CatalogueEntry &b = parsed->entries()[i];
        EXPECT_EQ(a.span(), b.span());
        EXPECT_EQ(a.attributeCount, b.attributeCount);
        EXPECT_EQ(edited.productId(a), parsed->productId(b));
        EXPECT_EQ(edited.fileVersion(a), parsed->fileVersion(b));
    }
    EXPECT_EQ(edited.shape().rootStartTag, parsed->shape().rootStartTag);
    EXPECT_EQ(edited.shape().rootEndTag, parsed->shape().rootEndTag);
    EXPECT_EQ(edited.shape().encoding, parsed->shape().encoding);
}

// ASCII text in UTF-16 with its byte order mark.
inline std::string utf16(const std::string &ascii, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii) {
        out += little ? c : '\0';
        out += little ? '\0' : c;
    }
    return out;
}

// This catalogue as an install or a remove leaves it, through the edit the workflows make.
inline Result<Catalogue> withInstall(const Catalogue &catalogue, std::string_view version) {
    auto edit = catalogue.planInstall(version);
    if (!edit) return edit.error();
    Catalogue result = catalogue;
    result.apply(std::move(edit).value());
    return result;
}
inline Result<Catalogue> withRemoval(const Catalogue &catalogue) {
    auto edit = catalogue.planRemoval();
    if (!edit) return edit.error();
    Catalogue result = catalogue;
    result.apply(std::move(edit).value());
    return result;
}

} // namespace corvelan::catalogue

// What a fill reads of a font object once per template content (a glyph map, an encoding's
// codes): kept by the content's identity and the font's object number, so that the later
// pages of a template run, which load the same content again, find it ready.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "store/storages.h"
#include "store/template_file.h"

template <typename T>
class FontCache {
  public:
    // The value for font object `font` of the loaded template, made by build(font, value),
    // which returns false when the font has none (nullptr then). Valid until the next call.
    template <typename Build>
    const T* get(int font, Build&& build) {
        if (!valid_xref(font)) return nullptr;
        const long image = loaded_image_id();
        if (image == -1) {
            // Content of no known load is read each time.
            scratch_ = Entry{};
            scratch_.found = build(font, scratch_.value);
            return scratch_.found ? &scratch_.value : nullptr;
        }
        for (const auto& e : entries_)
            if (e->image == image && e->font == font) return e->found ? &e->value : nullptr;
        if (entries_.size() >= kFonts) entries_.clear();
        Entry& e = *entries_.emplace_back(std::make_unique<Entry>());
        e.image = image;
        e.font = font;
        e.found = build(font, e.value);
        return e.found ? &e.value : nullptr;
    }

  private:
    struct Entry {
        long image = -1;
        int font = -1;
        bool found = false;
        T value;
    };
    static constexpr size_t kFonts = 32;
    // Kept apart, so that the values stay where they are while others are added.
    std::vector<std::unique_ptr<Entry>> entries_;
    Entry scratch_;
};

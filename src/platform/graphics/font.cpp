#include "platform/graphics/font.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/foundation/string_case.h"
#include "platform/graphics/cairo_internal.h"

namespace dk::platform {
namespace {

constexpr const char* kSystemFamily = "Roboto";

struct ParsedFace {
  std::string family;
  FontWeight weight = FontWeight::Regular;
  bool italic = false;
  bool validStyle = true;
};

// "<Family>-<Style>", the style a weight name, "Italic", or a weight name followed by "Italic".
ParsedFace parseFaceName(const std::string& name) {
  ParsedFace face;
  const auto dash = name.rfind('-');
  std::string style = "Regular";
  if (dash == std::string::npos) {
    face.family = name;
  } else {
    face.family = name.substr(0, dash);
    style = name.substr(dash + 1);
  }
  std::string s = asciiLowercase(style);
  if (s.size() >= 6 && s.compare(s.size() - 6, 6, "italic") == 0) {
    face.italic = true;
    s.resize(s.size() - 6);
  } else if (s.size() >= 7 && s.compare(s.size() - 7, 7, "oblique") == 0) {
    face.italic = true;
    s.resize(s.size() - 7);
  }
  static const std::map<std::string, FontWeight> kWeights = {
      {"", FontWeight::Regular},          {"regular", FontWeight::Regular},     {"book", FontWeight::Regular},
      {"normal", FontWeight::Regular},    {"roman", FontWeight::Regular},       {"thin", FontWeight::Thin},
      {"hairline", FontWeight::Thin},     {"extralight", static_cast<FontWeight>(200)},
      {"ultralight", static_cast<FontWeight>(200)},                             {"light", FontWeight::Light},
      {"medium", FontWeight::Medium},     {"semibold", FontWeight::Semibold},   {"demibold", FontWeight::Semibold},
      {"bold", FontWeight::Bold},         {"extrabold", static_cast<FontWeight>(800)},
      {"ultrabold", static_cast<FontWeight>(800)},                              {"heavy", static_cast<FontWeight>(800)},
      {"black", FontWeight::Black},
  };
  if (auto it = kWeights.find(s); it != kWeights.end()) {
    face.weight = it->second;
  } else {
    face.validStyle = false;
  }
  return face;
}

// What fontconfig has installed: family (lower case) -> (weight, italic) of each face.
class InstalledFaces {
 public:
  static const InstalledFaces& get() {
    static const InstalledFaces faces;
    return faces;
  }
  bool hasFamily(const std::string& family) const { return faces_.count(asciiLowercase(family)) > 0; }
  bool hasFace(const std::string& family, FontWeight weight, bool italic) const {
    auto it = faces_.find(asciiLowercase(family));
    if (it == faces_.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(), [&](const auto& f) {
      return f.first == static_cast<int>(weight) && f.second == italic;
    });
  }

 private:
  InstalledFaces() {
    PangoFontMap* map = pango_cairo_font_map_new();
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(map, &families, &count);
    for (int i = 0; i < count; ++i) {
      auto& list = faces_[asciiLowercase(pango_font_family_get_name(families[i]))];
      PangoFontFace** faces = nullptr;
      int faceCount = 0;
      pango_font_family_list_faces(families[i], &faces, &faceCount);
      for (int j = 0; j < faceCount; ++j) {
        PangoFontDescription* d = pango_font_face_describe(faces[j]);
        list.emplace_back(static_cast<int>(pango_font_description_get_weight(d)),
                          pango_font_description_get_style(d) != PANGO_STYLE_NORMAL);
        pango_font_description_free(d);
      }
      g_free(faces);
    }
    g_free(families);
    g_object_unref(map);
  }
  std::map<std::string, std::vector<std::pair<int, bool>>> faces_;
};

struct Metrics {
  double ascent, descent;  // per point of size, both positive
};

// Metrics scale linearly (no hinting), so they are measured once per face at a large size.
Metrics faceMetrics(const Font& font) {
  static std::mutex mutex;
  static std::map<std::tuple<std::string, int, bool>, Metrics> cache;
  const auto key = std::make_tuple(font.family(), static_cast<int>(font.weight()), font.isItalic());
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
  }
  constexpr double kProbeSize = 100;
  PangoFontDescription* d = newFontDescription(font.withSize(kProbeSize));
  PangoFontMetrics* m = pango_context_get_metrics(threadPangoContext(), d, pango_language_from_string("en"));
  const Metrics metrics{pango_font_metrics_get_ascent(m) / double(PANGO_SCALE) / kProbeSize,
                        pango_font_metrics_get_descent(m) / double(PANGO_SCALE) / kProbeSize};
  pango_font_metrics_unref(m);
  pango_font_description_free(d);
  std::lock_guard<std::mutex> lock(mutex);
  cache.emplace(key, metrics);
  return metrics;
}

Size layoutSize(const Font& font, const std::string& text, double maxWidth) {
  if (text.empty()) return {0, 0};
  PangoLayout* layout = pango_layout_new(threadPangoContext());
  PangoFontDescription* d = newFontDescription(font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  if (maxWidth > 0) {
    pango_layout_set_width(layout, static_cast<int>(maxWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return {logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE)};
}

}  // namespace

PangoFontDescription* newFontDescription(const Font& font) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, font.family().c_str());
  pango_font_description_set_weight(d, static_cast<PangoWeight>(static_cast<int>(font.weight())));
  pango_font_description_set_style(d, font.isItalic() ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // The pango context runs at 72 dpi, so points and pixels of user space coincide.
  pango_font_description_set_size(d, static_cast<int>(font.pointSize() * PANGO_SCALE + 0.5));
  return d;
}

PangoContext* threadPangoContext() {
  struct Holder {
    PangoContext* context;
    Holder() {
      context = pango_font_map_create_context(pango_cairo_font_map_get_default());
      pango_cairo_context_set_resolution(context, 72.0);
      cairo_font_options_t* options = cairo_font_options_create();
      cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
      cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
      cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
      pango_cairo_context_set_font_options(context, options);
      cairo_font_options_destroy(options);
      pango_context_set_round_glyph_positions(context, FALSE);
    }
    ~Holder() { g_object_unref(context); }
  };
  thread_local Holder holder;
  return holder.context;
}

Font::Font() : Font("Roboto-Regular", kSystemFamily, FontWeight::Regular, false, 17, false) {}

Font::Font(std::string faceName, std::string family, FontWeight weight, bool italic, double size, bool fallback)
    : faceName_(std::move(faceName)), family_(std::move(family)), weight_(weight), italic_(italic),
      pointSize_(size > 0 ? size : 17), fallback_(fallback) {}

Font Font::named(const std::string& faceName, double pointSize) {
  const ParsedFace face = parseFaceName(faceName);
  const auto& installed = InstalledFaces::get();
  if (face.validStyle && installed.hasFace(face.family, face.weight, face.italic)) {
    return Font(faceName, face.family, face.weight, face.italic, pointSize, false);
  }
  // Missing face: the same weight and slant of the system family, else whatever sans-serif there is.
  const std::string family = installed.hasFamily(kSystemFamily) ? kSystemFamily : "sans-serif";
  return Font(faceName, family, face.weight, face.italic, pointSize, true);
}

Font Font::system(double pointSize, FontWeight weight) {
  std::string style = "Regular";
  switch (weight) {
    case FontWeight::Thin: style = "Thin"; break;
    case FontWeight::Light: style = "Light"; break;
    case FontWeight::Regular: break;
    case FontWeight::Medium: style = "Medium"; break;
    case FontWeight::Semibold: style = "SemiBold"; break;
    case FontWeight::Bold: style = "Bold"; break;
    case FontWeight::Black: style = "Black"; break;
  }
  return named(std::string(kSystemFamily) + "-" + style, pointSize);
}

bool Font::isFaceAvailable(const std::string& faceName) {
  const ParsedFace face = parseFaceName(faceName);
  return face.validStyle && InstalledFaces::get().hasFace(face.family, face.weight, face.italic);
}

bool Font::isFamilyAvailable(const std::string& family) { return InstalledFaces::get().hasFamily(family); }

Font Font::withSize(double pointSize) const {
  return Font(faceName_, family_, weight_, italic_, pointSize, fallback_);
}

double Font::ascender() const { return faceMetrics(*this).ascent * pointSize_; }
double Font::descender() const { return -faceMetrics(*this).descent * pointSize_; }
double Font::lineHeight() const {
  const Metrics m = faceMetrics(*this);
  return (m.ascent + m.descent) * pointSize_;
}

Size Font::sizeOfText(const std::string& utf8) const { return layoutSize(*this, utf8, 0); }

Size Font::boundingSizeOfText(const std::string& utf8, double maxWidth) const {
  return layoutSize(*this, utf8, maxWidth);
}

std::string Font::pangoDescription() const {
  PangoFontDescription* d = newFontDescription(*this);
  char* text = pango_font_description_to_string(d);
  std::string result(text);
  g_free(text);
  pango_font_description_free(d);
  return result;
}

}  // namespace dk::platform

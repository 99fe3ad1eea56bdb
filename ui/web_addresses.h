#pragma once
// The web addresses the window opens.

namespace ui {

// The maker link.
inline constexpr const char* kMakerProductsUrl = "https://www.vantreck-software.com/products";
// "Learn more" in the promotion panel.
inline constexpr const char* kPromotedProductUrl = "https://www.vantreck-software.com/halvorine";

}  // namespace ui

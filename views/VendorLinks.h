#pragma once

namespace tolvane {

// The vendor's addresses. miravelt.example is a reserved domain: the vendor is fictional, and
// nothing opened from here can reach a real site.
inline constexpr char kVendorHomePage[] = "https://miravelt.example/";
inline constexpr char kVendorMailAddress[] = "support@miravelt.example";
inline constexpr char kKvcDownloadPage[] = "https://miravelt.example/DEMO/kv-dll.htm";

}  // namespace tolvane

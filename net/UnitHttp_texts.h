#pragma once

// Fixed texts of the page download, sent byte for byte.

// The proxy user name and password sent whenever the download goes through a proxy. Letters
// and digits only, so that a proxy's configuration file takes them as they are.
inline constexpr char kProxyUsername[] = "ananimus";
inline constexpr char kProxyPassword[] = "kW4m8z";

// The designed request fields of the download.
inline constexpr char kRequestAccept[] = "text/html, */*";
inline constexpr char kRequestUserAgent[] = "Mozilla/3.0 (compatible; Folianta)";

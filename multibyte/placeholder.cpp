// Replaced by the multibyte library sources.

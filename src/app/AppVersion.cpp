// Placeholder translation unit so the window library always has a source.
namespace scrivane { const char *AppVersionText() { return "0.1"; } }

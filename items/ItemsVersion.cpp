// Keeps the items library non-empty while it grows.
namespace tolvane {
int ItemsLibraryVersion() { return 1; }
}  // namespace tolvane

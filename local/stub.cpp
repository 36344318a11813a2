// Placeholder until the local file tasks are written.
namespace {}

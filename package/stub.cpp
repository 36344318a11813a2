// Placeholder until the package subsystem is written.
namespace {}

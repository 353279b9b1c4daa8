// Replaced by the driver's sources.
namespace glimra {}

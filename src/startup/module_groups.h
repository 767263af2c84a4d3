// Start-up steps that only group other modules' initialisers or have no content of their own.
#pragma once

namespace vxl {

// Imports the standard modules (streams, collections, file system, random numbers, ...).
int InitStandardGroupModule();
// A module with no content of its own, first import of the standard group.
int InitEmptyModule();
// A module that only imports the OpenGL module.
int InitOpenGLImportModule();
// The last import of the start-up: a module with no content.
int InitEmptyTrailingModule();

}  // namespace vxl

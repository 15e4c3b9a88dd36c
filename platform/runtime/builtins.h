// Internal: each module of the runtime registers its own functions.
#pragma once

namespace rt::detail {
void registerValueFunctions();     // builtins.cpp: ValType, Empty, Len, Eval, IsDerivedFrom ...
void registerArrayFunctions();     // array.cpp
void registerTextFunctions();      // text.cpp
void registerNumberFunctions();    // number.cpp
void registerPictureFunctions();   // picture.cpp
void registerDateFunctions();      // datetime.cpp
void registerCodePageFunctions();  // codepage.cpp
void registerConsoleFunctions();   // console.cpp
void registerFileFunctions();      // files.cpp
}  // namespace rt::detail

# Script mode: writes OUT, a C++ source that holds the text of IN as
#   const char* const orvex::clsrc::NAME
# so that the GPU programs stay real .cl files and still ship inside the library.
file(READ "${IN}" text)
string(FIND "${text}" ")orvexcl\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} contains the raw-string terminator )orvexcl\"")
endif()
file(WRITE "${OUT}.tmp"
  "// Generated from ${IN}; edit that file, not this one.\n"
  "namespace orvex::clsrc {\n"
  "extern const char* const ${NAME};\n"
  "const char* const ${NAME} = R\"orvexcl(${text})orvexcl\";\n"
  "}  // namespace orvex::clsrc\n")
# Rewrite only on change so that an untouched program does not recompile its source.
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")

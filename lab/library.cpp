// liborvex.so is the whole orvex_core archive behind a version script that exports the four
// functions of lab/exports.cpp; this unit only gives the shared library a source of its own.

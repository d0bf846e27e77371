find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
pkg_check_modules(SQLCIPHER REQUIRED IMPORTED_TARGET sqlcipher)
find_package(GTest 1.12 CONFIG REQUIRED)
find_package(ODBC QUIET)

# The UI is optional at configure time so the libraries build without Qt.
find_package(Qt6 6.4 QUIET COMPONENTS Core Gui Widgets PrintSupport Network Test)
if(Qt6_FOUND)
  find_path(QSCINTILLA_INCLUDE_DIR NAMES Qsci/qsciscintilla.h PATH_SUFFIXES qt6 x86_64-linux-gnu/qt6)
  find_library(QSCINTILLA_LIBRARY NAMES qscintilla2_qt6)
  if(QSCINTILLA_INCLUDE_DIR AND QSCINTILLA_LIBRARY)
    add_library(QScintilla::QScintilla UNKNOWN IMPORTED)
    set_target_properties(QScintilla::QScintilla PROPERTIES
      IMPORTED_LOCATION "${QSCINTILLA_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${QSCINTILLA_INCLUDE_DIR}"
      INTERFACE_LINK_LIBRARIES "Qt6::Widgets;Qt6::PrintSupport")
  endif()
endif()

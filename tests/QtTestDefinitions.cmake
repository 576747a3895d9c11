# Qt6::Test defines QT_TESTCASE_BUILDDIR and QT_TESTCASE_SOURCEDIR as absolute
# paths for QFINDTESTDATA, which no test here uses. The paths make every test
# object differ between two clones of the tree, so ccache could not reuse them.
get_target_property(corvane_qttest_defs Qt6::Test INTERFACE_COMPILE_DEFINITIONS)
list(FILTER corvane_qttest_defs EXCLUDE REGEX "^QT_TESTCASE_(BUILD|SOURCE)DIR=")
set_target_properties(Qt6::Test PROPERTIES INTERFACE_COMPILE_DEFINITIONS "${corvane_qttest_defs}")

# Checks of dxc-dbf through its output.
# The program's settings apply: a numeric picture with European separators.
add_test(NAME dxc-dbf.eval.picture
  COMMAND dxc-dbf eval [[Transform(1234.5, "@E 9,999.99")]])
set_tests_properties(dxc-dbf.eval.picture PROPERTIES PASS_REGULAR_EXPRESSION "^\"1\\.234,50\"\tC\n$")
add_test(NAME dxc-dbf.eval.number COMMAND dxc-dbf eval "1234.50")
set_tests_properties(dxc-dbf.eval.number PROPERTIES PASS_REGULAR_EXPRESSION "^1234\\.50\tN\n$")
add_test(NAME dxc-dbf.eval.dates COMMAND dxc-dbf eval [[CToD("25-12-2024") + 7]])
set_tests_properties(dxc-dbf.eval.dates PROPERTIES PASS_REGULAR_EXPRESSION "^01-01-2025\tD\n$")
# A bad text fails with the caret under the fault.
add_test(NAME dxc-dbf.eval.syntax-error COMMAND dxc-dbf eval "1 + (2 * 3")
set_tests_properties(dxc-dbf.eval.syntax-error PROPERTIES
  PASS_REGULAR_EXPRESSION "expected to close '\\(' at 5.*\n  1 \\+ \\(2 \\* 3\n            \\^")
add_test(NAME dxc-dbf.eval.fails COMMAND dxc-dbf eval "1 + (2 * 3")
set_tests_properties(dxc-dbf.eval.fails PROPERTIES WILL_FAIL TRUE)
add_test(NAME dxc-dbf.usage COMMAND dxc-dbf frobnicate)
set_tests_properties(dxc-dbf.usage PROPERTIES WILL_FAIL TRUE)
add_test(NAME dxc-dbf.help COMMAND dxc-dbf --help)
set_tests_properties(dxc-dbf.help PROPERTIES PASS_REGULAR_EXPRESSION "usage|Usage")

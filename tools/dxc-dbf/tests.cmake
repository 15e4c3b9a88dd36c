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

# Tables written by python3-dbf: info and dump agree with python3-dbfread
# on every field and value (CSV and JSON), and on --fields/--for/--order.
add_test(NAME dxc-dbf.dbfread
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_dbfread.py $<TARGET_FILE:dxc-dbf>
          ${CMAKE_CURRENT_BINARY_DIR}/dbfread-check)
set_tests_properties(dxc-dbf.dbfread PROPERTIES PASS_REGULAR_EXPRESSION "vfp.dbf: 4 fields, 7 live records agree")
add_test(NAME dxc-dbf.info.missing COMMAND dxc-dbf info ${CMAKE_CURRENT_BINARY_DIR}/nothere.dbf)
set_tests_properties(dxc-dbf.info.missing PROPERTIES PASS_REGULAR_EXPRESSION "File not found.*nothere\\.dbf")
add_test(NAME dxc-dbf.info.fails COMMAND dxc-dbf info ${CMAKE_CURRENT_BINARY_DIR}/nothere.dbf)
set_tests_properties(dxc-dbf.info.fails PROPERTIES WILL_FAIL TRUE)
add_test(NAME dxc-dbf.dump.bad-format COMMAND dxc-dbf dump x.dbf --format xml)
set_tests_properties(dxc-dbf.dump.bad-format PROPERTIES WILL_FAIL TRUE)
add_test(NAME dxc-dbf.sample.help COMMAND dxc-dbf sample --help)
set_tests_properties(dxc-dbf.sample.help PROPERTIES PASS_REGULAR_EXPRESSION "sample options:.*--clients N.*--force.*exit status")
add_test(NAME dxc-dbf.dump.help COMMAND dxc-dbf --help)
set_tests_properties(dxc-dbf.dump.help PROPERTIES PASS_REGULAR_EXPRESSION "--deleted.*null")

# dxc-dbf sample: both tables read back with python3-dbfread (fields, code
# page, every record, the awkward values), refusal, --force, same clients
# whatever the count; then info of a written table.
set(DXC_SAMPLE_CHECK_DIR ${CMAKE_CURRENT_BINARY_DIR}/sample-check)
add_test(NAME dxc-dbf.sample
  COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/app/fixtures/check_sample.py $<TARGET_FILE:dxc-dbf>
          ${DXC_SAMPLE_CHECK_DIR})
set_tests_properties(dxc-dbf.sample PROPERTIES
  PASS_REGULAR_EXPRESSION "sample: 250 clients in 2 tables read back with dbfread" FIXTURES_SETUP dxc_sample)
add_test(NAME dxc-dbf.sample.info COMMAND dxc-dbf info ${DXC_SAMPLE_CHECK_DIR}/new/folder/DXCAM01E.DBF)
set_tests_properties(dxc-dbf.sample.info PROPERTIES FIXTURES_REQUIRED dxc_sample
  PASS_REGULAR_EXPRESSION "code page:  850\nrecords:    300\n.*LIMITE     N    12   2")
add_test(NAME dxc-dbf.sample.usage COMMAND dxc-dbf sample)
set_tests_properties(dxc-dbf.sample.usage PROPERTIES WILL_FAIL TRUE)

# The import fixtures (written by python3-dbf) as our engine reads them:
# fields, counts with and without deleted records, broken files refused.
add_test(NAME dxc-dbf.import-fixtures
  COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/app/fixtures/make_import_fixtures.py
          ${CMAKE_CURRENT_BINARY_DIR}/import-fixtures --force --verify $<TARGET_FILE:dxc-dbf>)
set_tests_properties(dxc-dbf.import-fixtures PROPERTIES
  PASS_REGULAR_EXPRESSION "fixtures: 9 tables and 2 broken files agree with dxc-dbf")

# Tables other programs write (byte by byte): UTF-8 output, base64 for
# binary values, faults on standard error, exit status 3 for a cut table.
add_test(NAME dxc-dbf.real-world
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_real_world.py $<TARGET_FILE:dxc-dbf>
          ${CMAKE_CURRENT_BINARY_DIR}/real-world-check)
set_tests_properties(dxc-dbf.real-world PROPERTIES PASS_REGULAR_EXPRESSION "real world: 32 tables read.*11 agree with dbfread")

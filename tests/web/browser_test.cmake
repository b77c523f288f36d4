# SPDX-License-Identifier: GPL-3.0-or-later
# The browser view in a real browser: Debian's chromium, headless, driven through chromedriver by
# python3-selenium (scripts/install-deps installs them). Without them the test is left out, saying so.
find_program(FK_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(FK_CHROMIUM chromium)
find_program(FK_CHROMEDRIVER chromedriver)
set(fk_selenium_found FALSE)
if(FK_SYSTEM_PYTHON3)
  execute_process(COMMAND ${FK_SYSTEM_PYTHON3} -c "import selenium" RESULT_VARIABLE fk_selenium_rc
                  OUTPUT_QUIET ERROR_QUIET)
  if(fk_selenium_rc EQUAL 0)
    set(fk_selenium_found TRUE)
  endif()
endif()
if(fk_selenium_found AND FK_CHROMIUM AND FK_CHROMEDRIVER)
  add_test(NAME web_browser
           COMMAND ${FK_SYSTEM_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/web/browser_test.py
                   --fennick $<TARGET_FILE:fennick> --server $<TARGET_FILE:fennick-demo-server>
                   --pictures ${PROJECT_SOURCE_DIR}/tests/data/demo --chromium ${FK_CHROMIUM}
                   --chromedriver ${FK_CHROMEDRIVER} --out ${CMAKE_BINARY_DIR}/web-screenshots)
  set_tests_properties(web_browser PROPERTIES TIMEOUT 120)
else()
  message(STATUS "web_browser test left out: needs python3-selenium, chromium and chromium-driver")
endif()

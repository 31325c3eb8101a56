# The interactive Quillomatics driven in a real terminal (tmux) against simulated devices. Every
# run reads (and may signal) the tool's pid file at termination, so each test holds the "pidfile"
# lock.
find_program(QUILL_TMUX tmux)
find_package(Python3 COMPONENTS Interpreter)
# On a Mac, Quillomatics is the AppKit application, which has no terminal front end.
if(TARGET Quillomatics AND TARGET smc-sim AND QUILL_TMUX AND Python3_Interpreter_FOUND
   AND NOT APPLE)
  set(quill_terminal_cases
      TerminalTest.test_title_and_menu_rows_match_the_menu_model
      TerminalTest.test_unit_key_switches_and_persists_fahrenheit
      TerminalTest.test_mode_keys_and_the_arrow_keys_drive_the_fans
      TerminalTest.test_proactive_key_starts_the_tool_and_quitting_stops_it
      TerminalTest.test_no_device_shows_the_alert_and_quits
      TerminalTest.test_signals_quit_through_termination_and_restore_the_terminal
      TerminalTest.test_menu_closes_and_opens_and_the_refresh_goes_on
      TerminalTest.test_no_reading_shows_the_placeholder_until_readings_return
      TerminalTest.test_small_and_resized_terminals_scroll_and_clip
      TerminalTest.test_every_row_fits_80x24_and_narrow_widths_shorten_labels_not_values
      TerminalTest.test_password_prompt_gets_the_terminal_and_gives_it_back
      TerminalTest.test_colours_and_the_degree_sign_degrade_on_simpler_terminals
      TerminalTest.test_terminal_without_cursor_addressing_gets_the_line_monitor
      RealSudoTest.test_quit_hands_the_fans_back_and_ctrl_c_cancels_only_the_prompt
      RealSudoTest.test_sigkill_after_full_speed_hands_the_fans_back_and_the_next_launch_says_so
      RealSudoTest.test_sigkill_at_the_prompt_leaves_no_prompt_reading_the_terminal
      RealSudoTest.test_termination_signals_at_the_prompt_cancel_the_action
      CommandLineTest.test_help_and_version)
  foreach(case ${quill_terminal_cases})
    add_test(NAME terminal.${case}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/terminal_test.py
                     $<TARGET_FILE:Quillomatics> $<TARGET_FILE:smc-sim> ${case})
    set_tests_properties(terminal.${case} PROPERTIES TIMEOUT 120 RESOURCE_LOCK pidfile
                                                     SKIP_REGULAR_EXPRESSION "\\.\\.\\. skipped")
  endforeach()
else()
  message(STATUS "Terminal front-end tests skipped: they need tmux and Python 3")
endif()

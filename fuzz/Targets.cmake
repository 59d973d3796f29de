# The fuzz targets: fuzz/<name>.cpp, the libraries it decodes with, and its
# seed corpus fuzz/corpus/<name>/. Shared by the libFuzzer build and the
# corpus replay test.
set(ORVELLE_FUZZ_TARGETS answer_envelope records notice_address check_point_code upload_answer
    config_file http_answer)
set(ORVELLE_FUZZ_LIBS_answer_envelope orvelle_net)
set(ORVELLE_FUZZ_LIBS_records orvelle_inspection orvelle_hazard orvelle_account)
set(ORVELLE_FUZZ_LIBS_notice_address orvelle_platform)
set(ORVELLE_FUZZ_LIBS_check_point_code orvelle_inspection)
set(ORVELLE_FUZZ_LIBS_upload_answer orvelle_net)
set(ORVELLE_FUZZ_LIBS_config_file orvelle_core)
set(ORVELLE_FUZZ_LIBS_http_answer orvelle_net)

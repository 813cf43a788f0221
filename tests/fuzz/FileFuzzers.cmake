# The file-reader fuzzers (RTF, JPEG, report template): libFuzzer targets under ASan/UBSan when FUZZ=ON
# (clang only), and in every build a test that replays their seed corpora.
morvel_add_test(tst_file_corpus SOURCES tst_file_corpus.cpp FileFuzz.h FileFuzz.cpp LIBS platform jpegloader results)
target_link_libraries(tst_file_corpus PRIVATE QuaZip::QuaZip)
add_dependencies(tst_file_corpus report_template)
target_compile_definitions(tst_file_corpus PRIVATE MORVEL_FUZZ_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    MORVEL_TEMPLATE="${MORVEL_PROGRAM_DIR}/Templates/morvel.xlsx")

if(FUZZ)
    # The readers are compiled into each fuzzer so that they carry the instrumentation.
    set(file_reader_sources
        ${CMAKE_SOURCE_DIR}/platform/Cp1251.cpp
        ${CMAKE_SOURCE_DIR}/platform/JpegLoader.cpp
        ${CMAKE_SOURCE_DIR}/platform/RtfReader.cpp
        ${CMAKE_SOURCE_DIR}/platform/XlsxWorkbook.cpp
        ${CMAKE_SOURCE_DIR}/platform/XlsxWorksheet.cpp
        ${CMAKE_SOURCE_DIR}/platform/XmlTree.cpp
        ${CMAKE_SOURCE_DIR}/results/ReportTemplate.cpp)
    set(file_fuzz_sanitizers -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
    foreach(reader rtf jpeg template)
        string(SUBSTRING ${reader} 0 1 first)
        string(TOUPPER ${first} first)
        string(SUBSTRING ${reader} 1 -1 rest)
        add_executable(${reader}_fuzzer ${first}${rest}FuzzTarget.cpp FileFuzz.h FileFuzz.cpp ${file_reader_sources})
        target_include_directories(${reader}_fuzzer PRIVATE ${CMAKE_SOURCE_DIR})
        target_compile_options(${reader}_fuzzer PRIVATE ${file_fuzz_sanitizers} -fno-omit-frame-pointer)
        target_link_options(${reader}_fuzzer PRIVATE ${file_fuzz_sanitizers})
        target_link_libraries(${reader}_fuzzer PRIVATE platform Qt6::Gui JPEG::JPEG QuaZip::QuaZip)
        target_compile_definitions(${reader}_fuzzer PRIVATE MORVEL_TEMPLATE="${MORVEL_PROGRAM_DIR}/Templates/morvel.xlsx")
        add_dependencies(${reader}_fuzzer report_template)
        set_target_properties(${reader}_fuzzer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    endforeach()
endif()

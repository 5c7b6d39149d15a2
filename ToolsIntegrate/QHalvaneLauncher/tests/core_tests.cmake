# The core library: file service, start-up decision, store paths and the
# configuration writer, against the real library and a real nginx (the store
# test support comes with the workers' tests).
if(NOT TARGET orvel_store_test_support)
    return()
endif()
corvane_add_test(NAME orvel_core_fileservice_test
    SOURCES core_fileservice_test.cpp support/OrvelTestMainCore.cpp
    LIBS orvel_core orvel_store_test_support LABELS fast)
corvane_add_test(NAME orvel_core_startup_test
    SOURCES core_startup_test.cpp support/OrvelTestMainCore.cpp
    LIBS orvel_core orvel_store_test_support LABELS fast)
add_dependencies(orvel_core_fileservice_test corvane PemCorvaneX64)
add_dependencies(orvel_core_startup_test corvane PemCorvaneX64)

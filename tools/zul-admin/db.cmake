# The database part of zul-admin: `zul-admin db init`, with the SQLite and PostgreSQL schema
# scripts of docs/sql embedded. Included from tools/CMakeLists.txt; zul-admin links zul_admin_db.
add_library(zul_admin_db STATIC
    ${CMAKE_CURRENT_LIST_DIR}/DbCommand.h ${CMAKE_CURRENT_LIST_DIR}/DbCommand.cpp)
target_include_directories(zul_admin_db PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(zul_admin_db PUBLIC zul_settings zul_db)
qt_add_resources(zul_admin_db "zul_sql_schema"
    PREFIX /sql
    BASE ${PROJECT_SOURCE_DIR}/docs/sql
    FILES ${PROJECT_SOURCE_DIR}/docs/sql/sqlite.sql ${PROJECT_SOURCE_DIR}/docs/sql/postgresql.sql)

#pragma once
// libinstallext: what the install program calls while it installs Dorvale. Plain C exports:
// 8-bit (UTF-8) strings, 32-bit integers, results 1 (true) and 0 (false) unless said
// otherwise. Buffers the caller supplies hold at least INSTALLEXT_MAX_PATH bytes.
//
// Every change the removal must undo is recorded in the removal record file named by
// SetUninstallINI, and only after the change succeeded; with no file set nothing is recorded.
// Child processes are started with an argument vector, never through a shell.

#ifdef __cplusplus
extern "C" {
#endif

#define INSTALLEXT_MAX_PATH 260
#define INSTALLEXT_EXPORT __attribute__((visibility("default")))

// NOLINTBEGIN(readability-identifier-naming): the install program's own entry points.

// Stores the removal record file's path (at most 260 bytes; an empty or null path: none).
INSTALLEXT_EXPORT void SetUninstallINI(const char* path);

// Whether the component runtime can be used.
INSTALLEXT_EXPORT int IsDCOMInstalled(void);
// Whether the web server's admin base object (the metabase) can be created.
INSTALLEXT_EXPORT int IsIIS40Installed(void);
// 1 with *version 4 for the metabase; 1 with 3 for a web service kept in the registry's
// "Virtual Roots" keys; 0 with 0 when there is no web server.
INSTALLEXT_EXPORT int IsIISInstalled(int* version);

// Called once per server of the service, in order; `selected` is 1 for the first.
typedef void (*InstallExtListItem)(void* list, const char* serverComment, int selected);
// Lists the descriptive names of the service's ("W3SVC") instances through `addItem`: what
// filled a list box. The number of servers listed.
INSTALLEXT_EXPORT int FillIISWebServerList(void* list, InstallExtListItem addItem,
                                           const char* serviceName);

// Creates a web virtual directory; options: 1 make it an application, 2 have it indexed.
INSTALLEXT_EXPORT int AddVirtualRoot(const char* siteComment, const char* virtualPath,
                                     const char* physicalPath, int accessFlags, int options);

// Services. The binary path is the service's command line, its program an absolute path;
// dependencies are separated by "|"; an empty account runs it as the system's own. The
// password is not used: on Linux a service changes to its account without one.
INSTALLEXT_EXPORT int InstallNTService(const char* name, const char* displayName, int serviceType,
                                       int startType, int errorControl, const char* binaryPath,
                                       const char* loadOrderGroup, const char* dependencies,
                                       const char* account, const char* password);
INSTALLEXT_EXPORT int StartNTService(const char* name);
INSTALLEXT_EXPORT int StopNTService(const char* name);
// 1 stopped, 4 running, -1 unknown.
INSTALLEXT_EXPORT int GetNTServiceStatus(const char* name);
INSTALLEXT_EXPORT int DeleteNTService(const char* name);

// Starts `program` with the arguments of `commandLine` (split as a shell would, but never
// run by one); records `removalCommand` when it is not empty; waits for the end when `wait`
// is set, and then the result is 1 only when the program ended with 0.
INSTALLEXT_EXPORT int ExecuteApplication(const char* program, const char* commandLine,
                                         const char* removalCommand, int wait);

// Runs an SQL script over an ODBC connection string, batch by batch ("GO" lines end them).
INSTALLEXT_EXPORT int ExecuteSQLScript(const char* connection, const char* scriptFile);
// The connection's current database name, at most maxLength bytes with the NUL.
INSTALLEXT_EXPORT int GetDSNDatabasePath(const char* connection, char* databaseName, int maxLength);

// File patchers.
INSTALLEXT_EXPORT int ModifySQLScriptDataPath(const char* scriptFile, const char* dataPath);
INSTALLEXT_EXPORT int FixGlobalASADSN(const char* applicationFile, const char* connection);
INSTALLEXT_EXPORT int FixIndexServerFile(const char* queryFile, const char* catalog,
                                         const char* scope);

// Grants the account read (r-x) or change (rwx) rights on the directory, or takes them
// (---), with setfacl; 1 when it ended with 0 within 90 seconds.
INSTALLEXT_EXPORT int SetAdministratorPrivilages(const char* directory, const char* account,
                                                 int readFlag, int changeFlag);

// The host name into `name`; 0 on success.
INSTALLEXT_EXPORT int GetHostName(char* name);
// The program that opens web pages into `path`; 1 when one was found.
INSTALLEXT_EXPORT int GetBrowserPath(char* path);

// Why the last call of this thread failed, in words (empty when it did not say); at most
// maxLength bytes with the NUL. For the install program's messages.
INSTALLEXT_EXPORT int GetInstallExtError(char* text, int maxLength);

// NOLINTEND(readability-identifier-naming)

#ifdef __cplusplus
}
#endif

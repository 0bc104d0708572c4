/* win_probe: what the end-to-end tests of orvik-install need to see or do
 * from inside Wine.
 *
 *   win_probe run COMMAND_LINE   runs COMMAND_LINE exactly as given, with
 *                                these standard handles, and prints
 *                                "exit N" with its full 32-bit exit status
 *                                (a Unix parent sees only the low 8 bits)
 *   win_probe hold-mutex NAME    creates the mutex, prints "held", and keeps
 *                                it until standard input ends
 *   win_probe dacl PATH          prints the access list of PATH as SDDL
 *   win_probe attributes PATH    prints the file attributes in hex
 *   win_probe hold-file PATH     opens PATH as a running program holds its
 *                                files (others may read it, nothing more),
 *                                prints "held", and keeps it until standard
 *                                input ends
 *   win_probe move FROM TO       renames FROM to TO as another user's
 *                                program would; prints "moved" or
 *                                "refused N" with the Windows error
 */
#include <windows.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>

static int Run(char* command_line) {
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process;
  DWORD status = 0;
  fflush(stdout);
  if (!CreateProcessA(NULL, command_line, NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                      &process)) {
    fprintf(stderr, "win_probe: cannot start (%lu)\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &status);
  printf("exit %lu\n", status);
  return 0;
}

static int HoldMutex(const char* name) {
  char line[16];
  HANDLE mutex = CreateMutexA(NULL, FALSE, name);
  if (mutex == NULL) return 2;
  printf("held\n");
  fflush(stdout);
  while (fgets(line, sizeof line, stdin) != NULL) {
  }
  CloseHandle(mutex);
  return 0;
}

static int HoldFile(const char* path) {
  char line[16];
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 2;
  printf("held\n");
  fflush(stdout);
  while (fgets(line, sizeof line, stdin) != NULL) {
  }
  CloseHandle(file);
  return 0;
}

static int PrintDacl(const char* path) {
  char buffer[4096];
  DWORD needed = 0;
  char* text = NULL;
  SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
  if (!GetFileSecurityA(path, what, buffer, sizeof buffer, &needed)) return 2;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, what,
                                                            &text, NULL))
    return 2;
  printf("%s\n", text);
  LocalFree(text);
  return 0;
}

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (argc == 3 && strcmp(argv[1], "run") == 0) return Run(argv[2]);
  if (argc == 3 && strcmp(argv[1], "hold-mutex") == 0) return HoldMutex(argv[2]);
  if (argc == 3 && strcmp(argv[1], "dacl") == 0) return PrintDacl(argv[2]);
  if (argc == 3 && strcmp(argv[1], "hold-file") == 0) return HoldFile(argv[2]);
  if (argc == 3 && strcmp(argv[1], "attributes") == 0) {
    printf("%lx\n", GetFileAttributesA(argv[2]));
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "move") == 0) {
    if (MoveFileExA(argv[2], argv[3], 0))
      printf("moved\n");
    else
      printf("refused %lu\n", GetLastError());
    return 0;
  }
  fprintf(stderr, "usage: win_probe run|hold-mutex|dacl|attributes ARG | move FROM TO\n");
  return 2;
}

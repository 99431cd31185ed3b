// The version information of the kiplaunch program file, read back by TExeVersion for the about box.
// "used" keeps the compiler from dropping the unreferenced array and "retain" keeps the linker from
// collecting its section; the file is linked straight into the program so no archive can leave it out.

#define KIP_VERSION_TEXT(name, value) name "\0" value "\0"

__attribute__((section(".kipversion"), used, retain)) const char kiplaunchVersionBlock[] = "KIPVERSION1\0"  //
    KIP_VERSION_TEXT("ProductName", "Kip Launch Manager")                                                   //
    KIP_VERSION_TEXT("ProductVersion", "1.8")                                                               //
    KIP_VERSION_TEXT("FileVersion", "1.8.0.8")                                                              //
    KIP_VERSION_TEXT("Comments", "Beta 1")                                                                  //
    KIP_VERSION_TEXT("LegalCopyright", "Copyright (C) 2026 The Kip Project")                                //
    KIP_VERSION_TEXT("CompanyName", "The Kip Project")                                                      //
    KIP_VERSION_TEXT("OriginalFilename", "kiplaunch")                                                       //
    KIP_VERSION_TEXT("FileDescription", "")                                                                 //
    KIP_VERSION_TEXT("InternalName", "")                                                                    //
    KIP_VERSION_TEXT("LegalTrademarks", "");  // the literal's own NUL ends the list

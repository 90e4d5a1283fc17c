#pragma once
// What both programs do once their QApplication exists and before their
// window is created.

class QApplication;

// Names the application after the program file ("Zymkozchiffre"), the title
// of the exception display, and installs the toolkit's own translations for
// the user's language, so the platform's dialogs speak it too.
void PreparerApplication(QApplication& application);

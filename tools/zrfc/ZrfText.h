#pragma once
// The text form of a report project file and its conversion from and to the
// project file's bytes. The text is the object text of the windows:
//
//   object ZarvProject: TZarvProjectManager
//     LastActiveReport = 'Report1'      the report active when saved
//     UnitsFactor = 25.4
//     Parameters.Strings = (            nested objects by dotted names;
//       'Customer')                     defined properties by their name
//     object GlobalPage1: TZarvPage     global pages and data objects
//     end
//     object Report1: TZarvReport
//       LastActivePage = 'Page1'        the page active when saved
//       LoadedPages = (Page1 GlobalPage1)  pages the report uses, when
//                                       other than its own in order
//       FirstPage = Report1.Page1       references by name; names that are
//       PageList = (Page1 Page2)        no identifiers are quoted
//       object Page1: TZarvPage
//         object Box1: TZarvContainerControl
//         end
//       end
//     end
//   end
//
// An object list property is a collection whose items name their class
// first (ClassName = 'TItem'). A defined property whose bytes are one value
// of the object text is written as that value, any other as {hex}.
//
// The classes and their properties are looked up in the class registry, so
// the report classes must be registered before either conversion. Errors
// raise EParserError (text), EZarvException or EClassNotFound (names and
// values the project cannot hold) and the stream errors (damaged bytes).
#include <QByteArray>

// Text to the bytes of a project file, as written before any project
// manager has read them (load them and save them again to get the file).
QByteArray ProjectTextToBinary(const QByteArray& text);
// A project file's bytes to text.
QByteArray ProjectBinaryToText(const QByteArray& project);

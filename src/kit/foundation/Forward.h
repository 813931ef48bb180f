#pragma once
// Forward declarations of kit's foundation classes, for headers that only
// pass them around.

namespace kit {

template <class T>
class Ref;
template <class T>
class WeakRef;
class Object;
class String;
class MutableString;
class Number;
class DecimalNumber;
class Null;
class Data;
class MutableData;
class Date;
class Array;
class MutableArray;
class Dictionary;
class MutableDictionary;
class Error;
class Exception;
class URL;
class Bundle;
class Notification;
class NotificationCenter;
class UserDefaults;
class RunLoop;
class Timer;
class Thread;
class Operation;
class BlockOperation;
class OperationQueue;
class FileHandle;

}  // namespace kit

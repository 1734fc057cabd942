[playlist]
File1=/home/me/Music/Intro.mp3
Title1=Intro
Length1=200
File2=../Music/Björk/Jóga.mp3
File3=../Music/Rock & Roll.mp3
File4=http://radio.example:8000/live
NumberOfEntries=4
Version=2

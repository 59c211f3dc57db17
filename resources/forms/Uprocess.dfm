object fProcess: TfProcess
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Calculate Tolerance'
  ClientHeight = 448
  ClientWidth = 632
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object Label4: TLabel
    Left = 12
    Top = 16
    Caption = 'Nominal diameter'
  end
  object dNominale: TEdit
    Left = 130
    Top = 12
    Width = 96
    Height = 23
    TabOrder = 0
    OnChange = dNominaleChange
  end
  object Label9: TLabel
    Left = 246
    Top = 16
    Caption = 'Unit'
  end
  object cUnit: TComboBox
    Left = 290
    Top = 12
    Width = 70
    Height = 23
    Style = csDropDownList
    TabOrder = 1
    OnChange = cUnitChange
    Items.Strings = (
      'mm'
      'inch')
  end
  object lPasso: TLabel
    Left = 12
    Top = 46
    Caption = 'Pitch'
  end
  object dPasso: TEdit
    Left = 130
    Top = 42
    Width = 96
    Height = 23
    TabOrder = 2
    OnChange = dNominaleChange
  end
  object lStart: TLabel
    Left = 246
    Top = 46
    Caption = 'n.starts'
  end
  object dbN1: TEdit
    Left = 310
    Top = 42
    Width = 50
    Height = 23
    TabOrder = 3
  end
  object lAngolo: TLabel
    Left = 12
    Top = 76
    Caption = 'Angle (deg)'
  end
  object dbAngolo: TEdit
    Left = 130
    Top = 72
    Width = 50
    Height = 23
    TabOrder = 4
  end
  object lAngoli: TLabel
    Left = 12
    Top = 76
    Caption = 'Semi-angle (deg)'
  end
  object dbSAL: TEdit
    Left = 130
    Top = 72
    Width = 45
    Height = 23
    TabOrder = 5
  end
  object dbSAR: TEdit
    Left = 181
    Top = 72
    Width = 45
    Height = 23
    TabOrder = 6
  end
  object Label1: TLabel
    Left = 12
    Top = 108
    Caption = 'Gage Tolerance'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object dbTollServ: TEdit
    Left = 130
    Top = 104
    Width = 170
    Height = 23
    TabOrder = 7
    OnClick = dbTollServClick
  end
  object dbDesignazione: TEdit
    Left = 12
    Top = 136
    Width = 348
    Height = 23
    TabOrder = 8
    BorderStyle = bsNone
    Color = clBtnFace
    ReadOnly = True
    TabStop = False
  end
  object pcTolleranze: TPageControl
    Left = 12
    Top = 166
    Width = 348
    Height = 232
    ActivePage = tsMedio
    TabOrder = 31
    object tsMedio: TTabSheet
      Caption = 'Avg'
    object sbCalcTol: TSpeedButton
      Left = 8
      Top = 6
      Width = 200
      Height = 26
      AllowAllUp = True
      GroupIndex = 1
      Caption = 'Calculate Std Tolerance'
      OnClick = sbCalcTolClick
    end
    object lPassa: TLabel
      Left = 110
      Top = 40
      Caption = 'Go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object lNonPassa: TLabel
      Left = 220
      Top = 40
      Caption = 'No-go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object Label11: TLabel
      Left = 8
      Top = 62
      Caption = 'Max Nom.'
    end
    object dMaxP: TEdit
      Left = 110
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 9
    end
    object dMaxN: TEdit
      Left = 220
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 10
    end
    object Label12: TLabel
      Left = 8
      Top = 90
      Caption = 'Min Nom'
    end
    object dMinP: TEdit
      Left = 110
      Top = 86
      Width = 96
      Height = 23
      TabOrder = 11
    end
    object dMinN: TEdit
      Left = 220
      Top = 86
      Width = 96
      Height = 23
      TabOrder = 12
    end
    object lLogoro: TLabel
      Left = 8
      Top = 118
      Caption = 'Worn'
    end
    object dLogP: TEdit
      Left = 110
      Top = 114
      Width = 96
      Height = 23
      TabOrder = 13
    end
    object dLogN: TEdit
      Left = 220
      Top = 114
      Width = 96
      Height = 23
      TabOrder = 14
    end
    object lDiaMed: TLabel
      Left = 8
      Top = 146
      Caption = 'Avg Diameter'
    end
    object dMedP: TEdit
      Left = 110
      Top = 142
      Width = 96
      Height = 23
      TabOrder = 15
    end
    object dMedN: TEdit
      Left = 220
      Top = 142
      Width = 96
      Height = 23
      TabOrder = 16
    end
    object lHMis: TLabel
      Left = 8
      Top = 174
      Caption = 'meas.Height ='
    end
    object dHMis1: TEdit
      Left = 110
      Top = 170
      Width = 96
      Height = 23
      TabOrder = 17
    end
    object dHMis2: TEdit
      Left = 220
      Top = 170
      Width = 96
      Height = 23
      TabOrder = 18
    end
    end
    object tsExt: TTabSheet
      Caption = 'External'
      ImageIndex = 1
    object lPassaE: TLabel
      Left = 110
      Top = 12
      Caption = 'Go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object lNonPassaE: TLabel
      Left = 220
      Top = 12
      Caption = 'No-go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object Label30: TLabel
      Left = 8
      Top = 34
      Caption = 'Max Nom.'
    end
    object dMaxPe: TEdit
      Left = 110
      Top = 30
      Width = 96
      Height = 23
      TabOrder = 19
    end
    object dMaxNe: TEdit
      Left = 220
      Top = 30
      Width = 96
      Height = 23
      TabOrder = 20
    end
    object Label31: TLabel
      Left = 8
      Top = 62
      Caption = 'Min Nom'
    end
    object dMinPe: TEdit
      Left = 110
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 21
    end
    object dMinNe: TEdit
      Left = 220
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 22
    end
    end
    object tsInterno: TTabSheet
      Caption = 'Internal'
      ImageIndex = 2
    object lPassaI: TLabel
      Left = 110
      Top = 12
      Caption = 'Go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object lNonPassaI: TLabel
      Left = 220
      Top = 12
      Caption = 'No-go'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWindowText
      Font.Height = -12
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
    end
    object Label34: TLabel
      Left = 8
      Top = 34
      Caption = 'Max Nom.'
    end
    object dMaxPi: TEdit
      Left = 110
      Top = 30
      Width = 96
      Height = 23
      TabOrder = 23
    end
    object dMaxNi: TEdit
      Left = 220
      Top = 30
      Width = 96
      Height = 23
      TabOrder = 24
    end
    object Label35: TLabel
      Left = 8
      Top = 62
      Caption = 'Min Nom'
    end
    object dMinPi: TEdit
      Left = 110
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 25
    end
    object dMinNi: TEdit
      Left = 220
      Top = 58
      Width = 96
      Height = 23
      TabOrder = 26
    end
    end
    object tsAngPas: TTabSheet
      Caption = 'Angle/Pitch'
      ImageIndex = 3
    object Label36: TLabel
      Left = 8
      Top = 16
      Caption = 'Pitch tolerance'
    end
    object dTPasso: TEdit
      Left = 150
      Top = 12
      Width = 96
      Height = 23
      TabOrder = 27
    end
    object Label37: TLabel
      Left = 8
      Top = 48
      Caption = 'Semi-angle tolerance'
    end
    object dbTSAL: TEdit
      Left = 150
      Top = 44
      Width = 45
      Height = 23
      TabOrder = 28
    end
    object dbTSAR: TEdit
      Left = 201
      Top = 44
      Width = 45
      Height = 23
      TabOrder = 29
    end
    object dbTAngolo: TEdit
      Left = 150
      Top = 74
      Width = 45
      Height = 23
      TabOrder = 30
    end
    object Label6: TLabel
      Left = 254
      Top = 48
      Caption = 'minutes'
    end
    end
  end
  object lPieceTxt2: TLabel
    Left = 390
    Top = 16
    Caption = 'Workpiece Tolerance'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'Arial'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object lPieceTxt: TLabel
    Left = 390
    Top = 38
    Caption = 'lPieceTxt'
  end
  object lPieceTxt3: TLabel
    Left = 390
    Top = 66
    Caption = 'Max'
  end
  object dMaxW: TEdit
    Left = 430
    Top = 62
    Width = 96
    Height = 23
    TabOrder = 32
  end
  object lPieceTxt4: TLabel
    Left = 390
    Top = 96
    Caption = 'Min'
  end
  object dMinW: TEdit
    Left = 430
    Top = 92
    Width = 96
    Height = 23
    TabOrder = 33
  end
  object lPieceTxt5: TLabel
    Left = 400
    Top = 150
    Caption = 'Max'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clMaroon
    Font.Height = -12
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
  end
  object lPieceTxt6: TLabel
    Left = 400
    Top = 300
    Caption = 'Min'
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clMaroon
    Font.Height = -12
    Font.Name = 'Arial'
    Font.Style = []
    ParentFont = False
  end
  object distoll1: TShape
    Left = 430
    Top = 156
    Width = 120
    Height = 3
    Brush.Color = clMaroon
    Pen.Color = clGray
  end
  object distoll2: TShape
    Left = 430
    Top = 306
    Width = 120
    Height = 3
    Brush.Color = clMaroon
    Pen.Color = clGray
  end
  object distoll3: TShape
    Left = 470
    Top = 159
    Width = 40
    Height = 147
    Brush.Color = clWhite
    Pen.Color = clGray
  end
  object lPieceTxt7: TLabel
    Left = 476
    Top = 226
    Caption = 'piece'
  end
  object distollMaxP: TShape
    Left = 520
    Top = 160
    Width = 24
    Height = 14
    Brush.Color = clSilver
    Pen.Color = clGray
  end
  object distollMaxNP: TShape
    Left = 520
    Top = 140
    Width = 24
    Height = 14
    Brush.Color = clSilver
    Pen.Color = clGray
  end
  object distollMinP: TShape
    Left = 520
    Top = 312
    Width = 24
    Height = 14
    Brush.Color = clSilver
    Pen.Color = clGray
  end
  object distollMinNP: TShape
    Left = 520
    Top = 290
    Width = 24
    Height = 14
    Brush.Color = clSilver
    Pen.Color = clGray
  end
  object lPieceTxtMax: TLabel
    Left = 552
    Top = 150
    Caption = 'Go gage'
  end
  object lPieceTxtMin: TLabel
    Left = 552
    Top = 300
    Caption = 'No go gage'
  end
  object bMeasure: TButton
    Left = 12
    Top = 408
    Width = 110
    Height = 27
    Caption = 'Measure Gage'
    TabOrder = 34
    Visible = False
    OnClick = bMeasureClick
  end
  object bMeasureWp: TButton
    Left = 130
    Top = 408
    Width = 110
    Height = 27
    Caption = 'Measure Piece'
    TabOrder = 35
    Visible = False
    OnClick = bMeasureWpClick
  end
  object bPrint: TButton
    Left = 390
    Top = 408
    Width = 110
    Height = 27
    Caption = 'Print'
    TabOrder = 36
    OnClick = bPrintClick
  end
  object bClose: TButton
    Left = 508
    Top = 408
    Width = 110
    Height = 27
    Caption = 'Close'
    TabOrder = 37
    ModalResult = 2
  end
  object ZvProject1: TZvProject
  end
end
